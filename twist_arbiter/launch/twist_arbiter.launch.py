"""Run the twist_arbiter controller as its own program with the shipped configuration."""

import os

from ament_index_python.packages import get_package_share_directory
from launch import LaunchDescription
from launch.actions import DeclareLaunchArgument
from launch.substitutions import LaunchConfiguration
from launch_ros.actions import Node


def generate_launch_description():
    default_params = os.path.join(
        get_package_share_directory('twist_arbiter'), 'config', 'twist_arbiter.yaml')
    return LaunchDescription([
        DeclareLaunchArgument(
            'params_file', default_value=default_params,
            description='Parameter file of the controller'),
        Node(
            package='twist_arbiter',
            executable='twist_arbiter_main',
            name='twist_arbiter',
            parameters=[LaunchConfiguration('params_file')],
            output='screen',
        ),
    ])
