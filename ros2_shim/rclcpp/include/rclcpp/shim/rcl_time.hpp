// Time point, duration and clock-type definitions of the layer below rclcpp.
//
// Public rclcpp headers take and return these types (Clock(RCL_STEADY_TIME),
// Time::nanoseconds() -> rcl_time_point_value_t), so they are provided with
// the same global names and values here, for builds without that layer.
#ifndef RCLCPP__SHIM__RCL_TIME_HPP_
#define RCLCPP__SHIM__RCL_TIME_HPP_

#include <cstdint>

#include "rcutils/time.h"

#ifndef RCL__TIME_H_
#define RCL__TIME_H_

#define RCL_S_TO_NS RCUTILS_S_TO_NS
#define RCL_MS_TO_NS RCUTILS_MS_TO_NS
#define RCL_US_TO_NS RCUTILS_US_TO_NS
#define RCL_NS_TO_S RCUTILS_NS_TO_S
#define RCL_NS_TO_MS RCUTILS_NS_TO_MS
#define RCL_NS_TO_US RCUTILS_NS_TO_US

typedef rcutils_time_point_value_t rcl_time_point_value_t;
typedef rcutils_duration_value_t rcl_duration_value_t;

typedef enum rcl_clock_type_e
{
  RCL_CLOCK_UNINITIALIZED = 0,
  RCL_ROS_TIME,
  RCL_SYSTEM_TIME,
  RCL_STEADY_TIME
} rcl_clock_type_t;

typedef struct rcl_duration_s
{
  rcl_duration_value_t nanoseconds;
} rcl_duration_t;

typedef struct rcl_time_point_s
{
  rcl_time_point_value_t nanoseconds;
  rcl_clock_type_t clock_type;
} rcl_time_point_t;

#endif  // RCL__TIME_H_

#endif  // RCLCPP__SHIM__RCL_TIME_HPP_
