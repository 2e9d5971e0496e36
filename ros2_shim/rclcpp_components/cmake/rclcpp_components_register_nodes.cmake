# rclcpp_components_register_nodes(<target> <class> [<class> ...] [RESOURCE_INDEX <index>])
#
# Registers the component classes of a shared library in the ament resource index, one line
# "<class>;lib/<library file>" per class under "<index>/<package>" (index defaults to
# "rclcpp_components"), so that component containers can find them by class name.
macro(rclcpp_components_register_nodes target)
  if(NOT TARGET ${target})
    message(
      FATAL_ERROR
      "rclcpp_components_register_nodes() first argument "
      "'${target}' is not a target")
  endif()
  cmake_parse_arguments(_RCLCPP_COMPONENTS_NODES_ARGS "" "RESOURCE_INDEX" "" ${ARGN})
  get_target_property(_target_type ${target} TYPE)
  if(NOT _target_type STREQUAL "SHARED_LIBRARY")
    message(
      FATAL_ERROR
      "rclcpp_components_register_nodes() first argument "
      "'${target}' is not a shared library target")
  endif()

  set(_resource_index "rclcpp_components")
  if(NOT "${_RCLCPP_COMPONENTS_NODES_ARGS_RESOURCE_INDEX}" STREQUAL "")
    set(_resource_index ${_RCLCPP_COMPONENTS_NODES_ARGS_RESOURCE_INDEX})
    message(STATUS "Setting component resource index to non-default value ${_resource_index}")
  endif()

  if(_RCLCPP_COMPONENTS_NODES_ARGS_UNPARSED_ARGUMENTS)
    _rclcpp_components_register_package_hook()
    set(_unique_names)
    foreach(_arg ${_RCLCPP_COMPONENTS_NODES_ARGS_UNPARSED_ARGUMENTS})
      if(_arg IN_LIST _unique_names)
        message(
          FATAL_ERROR
          "rclcpp_components_register_nodes() the plugin names "
          "must be unique (multiple '${_arg}')")
      endif()
      list(APPEND _unique_names "${_arg}")

      if(WIN32)
        set(_path "bin")
      else()
        set(_path "lib")
      endif()
      set(_RCLCPP_COMPONENTS_${_resource_index}__NODES
        "${_RCLCPP_COMPONENTS_${_resource_index}__NODES}${_arg};${_path}/$<TARGET_FILE_NAME:${target}>\n")
      list(APPEND _RCLCPP_COMPONENTS_PACKAGE_RESOURCE_INDICES ${_resource_index})
    endforeach()
  endif()
endmacro()
