#ifndef SCRIVO__SCRIVO_HPP_
#define SCRIVO__SCRIVO_HPP_

/// @file
/// Everything an application needs to log with scrivo, in one include.

#include "scrivo/log_level.hpp"
#include "scrivo/logging.hpp"
#include "scrivo/macros.hpp"
#include "scrivo/output_handler.hpp"
#include "scrivo/output_handler_file.hpp"
#include "scrivo/output_handler_std.hpp"

#endif  // SCRIVO__SCRIVO_HPP_
