// Symbol visibility macros of the managed-node library, named as the ROS 2 Humble package names
// them so that code which spells them compiles unchanged.
#ifndef RCLCPP_LIFECYCLE__VISIBILITY_CONTROL_H_
#define RCLCPP_LIFECYCLE__VISIBILITY_CONTROL_H_

#if defined(__GNUC__) && __GNUC__ >= 4
#define RCLCPP_LIFECYCLE_EXPORT __attribute__((visibility("default")))
#define RCLCPP_LIFECYCLE_IMPORT
#define RCLCPP_LIFECYCLE_PUBLIC __attribute__((visibility("default")))
#define RCLCPP_LIFECYCLE_LOCAL __attribute__((visibility("hidden")))
#else
#define RCLCPP_LIFECYCLE_EXPORT
#define RCLCPP_LIFECYCLE_IMPORT
#define RCLCPP_LIFECYCLE_PUBLIC
#define RCLCPP_LIFECYCLE_LOCAL
#endif
#define RCLCPP_LIFECYCLE_PUBLIC_TYPE RCLCPP_LIFECYCLE_PUBLIC

#endif  // RCLCPP_LIFECYCLE__VISIBILITY_CONTROL_H_
