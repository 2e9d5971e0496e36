#include "level_prefix.hpp"

namespace scrivo
{
namespace detail
{

namespace
{
// Indexed by LogLevel; exactly one entry per level.
const char * const kPrefixes[] = {
  "Debug:   ",
  "Info:    ",
  "Warning: ",
  "Error:   ",
};
static_assert(sizeof(kPrefixes) / sizeof(kPrefixes[0]) == Error + 1, "one prefix per level");
}  // namespace

const char * const kLocationLead = "         at line ";

const char * levelPrefix(LogLevel level)
{
  return kPrefixes[clampLevel(level)];
}

}  // namespace detail
}  // namespace scrivo
