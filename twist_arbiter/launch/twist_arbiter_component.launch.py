"""Load the twist_arbiter controller as a component into a new single-threaded container."""

import os

from ament_index_python.packages import get_package_share_directory
from launch import LaunchDescription
from launch.actions import DeclareLaunchArgument
from launch.substitutions import LaunchConfiguration
from launch_ros.actions import ComposableNodeContainer
from launch_ros.descriptions import ComposableNode


def generate_launch_description():
    default_params = os.path.join(
        get_package_share_directory('twist_arbiter'), 'config', 'twist_arbiter.yaml')
    return LaunchDescription([
        DeclareLaunchArgument(
            'params_file', default_value=default_params,
            description='Parameter file of the controller'),
        ComposableNodeContainer(
            name='twist_arbiter_container',
            namespace='',
            package='rclcpp_components',
            executable='component_container',
            composable_node_descriptions=[
                ComposableNode(
                    package='twist_arbiter',
                    plugin='TwistArbiter',
                    name='twist_arbiter',
                    parameters=[LaunchConfiguration('params_file')],
                ),
            ],
            output='screen',
        ),
    ])
