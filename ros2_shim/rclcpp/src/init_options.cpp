#include "rclcpp/init_options.hpp"

#include <cstdint>
#include <limits>

namespace rclcpp
{

namespace
{
constexpr size_t kDefaultDomainId = std::numeric_limits<size_t>::max();
}  // namespace

InitOptions::InitOptions(rcutils_allocator_t allocator)
: allocator_(allocator), domain_id_(kDefaultDomainId)
{}

InitOptions::InitOptions(const InitOptions & other) = default;

InitOptions &
InitOptions::operator=(const InitOptions & other) = default;

InitOptions::~InitOptions() = default;

bool
InitOptions::auto_initialize_logging() const
{
  return initialize_logging_;
}

InitOptions &
InitOptions::auto_initialize_logging(bool initialize_logging)
{
  initialize_logging_ = initialize_logging;
  return *this;
}

void
InitOptions::set_domain_id(size_t domain_id)
{
  domain_id_ = domain_id;
}

size_t
InitOptions::get_domain_id() const
{
  return domain_id_;
}

void
InitOptions::use_default_domain_id()
{
  domain_id_ = kDefaultDomainId;
}

const rcutils_allocator_t &
InitOptions::get_allocator() const
{
  return allocator_;
}

}  // namespace rclcpp
