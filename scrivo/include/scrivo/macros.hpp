#ifndef SCRIVO__MACROS_HPP_
#define SCRIVO__MACROS_HPP_

/// @file
/// Logging macros that record where a message comes from.
///
/// Each macro takes a printf format followed by its arguments, for example
/// SCRIVO_WARN("battery at %d %%", percent), and passes __FILE__ and __LINE__
/// so that warnings and errors point at the line that logged them. The format
/// is part of __VA_ARGS__ so that a call without arguments stays standard C++.

#include "scrivo/log_level.hpp"
#include "scrivo/logging.hpp"

/// Logs a Debug message: SCRIVO_DEBUG(format, ...).
#define SCRIVO_DEBUG(...) ::scrivo::log(__FILE__, __LINE__, ::scrivo::LogLevel::Debug, __VA_ARGS__)
/// Logs an Info message: SCRIVO_INFO(format, ...).
#define SCRIVO_INFO(...) ::scrivo::log(__FILE__, __LINE__, ::scrivo::LogLevel::Info, __VA_ARGS__)
/// Logs a Warning message: SCRIVO_WARN(format, ...).
#define SCRIVO_WARN(...) ::scrivo::log(__FILE__, __LINE__, ::scrivo::LogLevel::Warning, __VA_ARGS__)
/// Logs an Error message: SCRIVO_ERROR(format, ...).
#define SCRIVO_ERROR(...) ::scrivo::log(__FILE__, __LINE__, ::scrivo::LogLevel::Error, __VA_ARGS__)

#endif  // SCRIVO__MACROS_HPP_
