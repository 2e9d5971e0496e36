# Makes rclcpp_components_register_node(s) available after find_package(rclcpp_components).

# Registers the ament_package() hook that writes the resource index entries, once per project.
macro(_rclcpp_components_register_package_hook)
  if(NOT DEFINED _RCLCPP_COMPONENTS_PACKAGE_HOOK_REGISTERED)
    set(_RCLCPP_COMPONENTS_PACKAGE_HOOK_REGISTERED TRUE)

    find_package(ament_cmake_core QUIET REQUIRED)
    ament_register_extension("ament_package" "rclcpp_components"
      "rclcpp_components_package_hook.cmake")
  endif()
endmacro()

set(rclcpp_components_NODE_TEMPLATE "${rclcpp_components_DIR}/../node_main.cpp.in")

include("${rclcpp_components_DIR}/rclcpp_components_register_nodes.cmake")
include("${rclcpp_components_DIR}/rclcpp_components_register_node.cmake")
