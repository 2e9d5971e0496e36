#ifndef RCLCPP_TARVEK__VISIBILITY_CONTROL_HPP_
#define RCLCPP_TARVEK__VISIBILITY_CONTROL_HPP_

// Symbol visibility of librclcpp_tarvek. On Linux every symbol is visible by
// default; the macros keep the headers usable by toolchains (and builds with
// -fvisibility=hidden) that need explicit exports.

#if defined _WIN32 || defined __CYGWIN__
  #ifdef __GNUC__
    #define RCLCPP_TARVEK_EXPORT __attribute__ ((dllexport))
    #define RCLCPP_TARVEK_IMPORT __attribute__ ((dllimport))
  #else
    #define RCLCPP_TARVEK_EXPORT __declspec(dllexport)
    #define RCLCPP_TARVEK_IMPORT __declspec(dllimport)
  #endif
  #ifdef RCLCPP_TARVEK_BUILDING_LIBRARY
    #define RCLCPP_TARVEK_PUBLIC RCLCPP_TARVEK_EXPORT
  #else
    #define RCLCPP_TARVEK_PUBLIC RCLCPP_TARVEK_IMPORT
  #endif
#else
  #if __GNUC__ >= 4
    #define RCLCPP_TARVEK_PUBLIC __attribute__ ((visibility("default")))
  #else
    #define RCLCPP_TARVEK_PUBLIC
  #endif
#endif

#endif  // RCLCPP_TARVEK__VISIBILITY_CONTROL_HPP_
