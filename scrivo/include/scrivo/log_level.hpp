#ifndef SCRIVO__LOG_LEVEL_HPP_
#define SCRIVO__LOG_LEVEL_HPP_

/// @file
/// Severity levels of scrivo messages.

namespace scrivo
{

/// Severity of a message, ordered from least to most severe.
///
/// The underlying type is fixed to int because the threshold test is a plain
/// signed comparison and the value selects the message prefix. Fixing the type
/// also makes every int a valid LogLevel value, so a level cast from a bad
/// integer is well defined; the library treats values above Error as Error and
/// values below Debug as Debug instead of trusting them as table indices.
///
/// The enumeration is unscoped so that both scrivo::Debug and
/// scrivo::LogLevel::Debug name a level.
enum LogLevel : int
{
  Debug = 0,    ///< Developer detail; console: standard output.
  Info = 1,     ///< Normal operation; console: standard output.
  Warning = 2,  ///< Something unexpected; console: standard error with location.
  Error = 3,    ///< A failure; console: standard error with location.
};

}  // namespace scrivo

#endif  // SCRIVO__LOG_LEVEL_HPP_
