# Run by ament_package(): writes the resource index entries collected by the register macros.
if(_RCLCPP_COMPONENTS_PACKAGE_RESOURCE_INDICES)
  list(REMOVE_DUPLICATES _RCLCPP_COMPONENTS_PACKAGE_RESOURCE_INDICES)
  foreach(_resource_index ${_RCLCPP_COMPONENTS_PACKAGE_RESOURCE_INDICES})
    if(_RCLCPP_COMPONENTS_${_resource_index}__NODES)
      ament_index_register_resource(
        ${_resource_index} CONTENT "${_RCLCPP_COMPONENTS_${_resource_index}__NODES}")
    endif()
  endforeach()
endif()
