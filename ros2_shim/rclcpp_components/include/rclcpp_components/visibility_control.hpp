// Symbol visibility macros of the component library, named as on ROS 2 Humble.
#ifndef RCLCPP_COMPONENTS__VISIBILITY_CONTROL_HPP_
#define RCLCPP_COMPONENTS__VISIBILITY_CONTROL_HPP_

#if defined(__GNUC__) && __GNUC__ >= 4
#define RCLCPP_COMPONENTS_EXPORT __attribute__((visibility("default")))
#define RCLCPP_COMPONENTS_IMPORT
#define RCLCPP_COMPONENTS_PUBLIC __attribute__((visibility("default")))
#define RCLCPP_COMPONENTS_LOCAL __attribute__((visibility("hidden")))
#else
#define RCLCPP_COMPONENTS_EXPORT
#define RCLCPP_COMPONENTS_IMPORT
#define RCLCPP_COMPONENTS_PUBLIC
#define RCLCPP_COMPONENTS_LOCAL
#endif
#define RCLCPP_COMPONENTS_PUBLIC_TYPE RCLCPP_COMPONENTS_PUBLIC

#endif  // RCLCPP_COMPONENTS__VISIBILITY_CONTROL_HPP_
