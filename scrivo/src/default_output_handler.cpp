#include "default_output_handler.hpp"

namespace scrivo
{
namespace detail
{

DefaultOutputHandler::DefaultOutputHandler()
: console_handler_(),
  current_handler_(&console_handler_),
  previous_handler_(&console_handler_),
  log_level_(Warning),
  mutex_()
{
}

DefaultOutputHandler & DefaultOutputHandler::instance()
{
  // Deliberately leaked: see the declaration.
  static DefaultOutputHandler * const state = new DefaultOutputHandler();
  return *state;
}

}  // namespace detail
}  // namespace scrivo
