#ifndef SCRIVO__LEVEL_PREFIX_HPP_
#define SCRIVO__LEVEL_PREFIX_HPP_

// Internal: mapping of levels to their message prefixes.

#include "scrivo/log_level.hpp"

namespace scrivo
{
namespace detail
{

/// Maps any LogLevel value onto one of the four levels: above Error becomes
/// Error, below Debug becomes Debug. A level cast from a bad integer must
/// never index past the prefix table.
inline LogLevel clampLevel(LogLevel level)
{
  if (level < Debug) {
    return Debug;
  }
  if (level > Error) {
    return Error;
  }
  return level;
}

/// The nine-character prefix of @p level ("Debug:   " ... "Error:   "),
/// so that message texts line up. Out-of-range levels are clamped first.
const char * levelPrefix(LogLevel level);

/// The indentation and words before the line number of a location line.
extern const char * const kLocationLead;

}  // namespace detail
}  // namespace scrivo

#endif  // SCRIVO__LEVEL_PREFIX_HPP_
