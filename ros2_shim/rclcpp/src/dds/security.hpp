// DDS Security for the process's participant, as rcl and rmw_cyclonedds_cpp set it up:
// the enclave and ROS_SECURITY_* select a folder of the keystore, and the participant's QoS
// points Cyclone's three standard plugins at the certificates and signed documents in it.
//
// The environment is read once per init. The participant is one per process and domain
// (see participant.hpp), so the first context that joins a domain fixes its enclave; a
// later context asking for another enclave or keystore folder on that domain is refused.
#ifndef RCLCPP__SHIM__DDS__SECURITY_HPP_
#define RCLCPP__SHIM__DDS__SECURITY_HPP_

#include <string>
#include <vector>

#include "dds/dds.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

struct SecuritySettings
{
  /// The context's enclave: --enclave, else "/" (ROS_SECURITY_ENCLAVE_OVERRIDE only changes
  /// which keystore folder is used, as in rcl).
  std::string enclave{"/"};
  /// ROS_SECURITY_ENABLE is exactly "true".
  bool enabled{false};
  /// ROS_SECURITY_STRATEGY is "Enforce".
  bool enforce{false};
  /// The enclave's keystore folder; empty when the participant runs without security.
  std::string directory;

  /// Whether a participant made with `other` is what these settings ask for: the same
  /// USER_DATA and the same credentials (the strategy only decides what a lack of them means).
  bool same_participant(const SecuritySettings & other) const
  {
    return enclave == other.enclave && directory == other.directory;
  }
};

/// The files an enclave folder must hold, in the order they are checked.
const std::vector<std::string> & enclave_file_names();

/// rcl's reading of ROS_SECURITY_ENABLE, ROS_SECURITY_STRATEGY, ROS_SECURITY_KEYSTORE and
/// ROS_SECURITY_ENCLAVE_OVERRIDE for `enclave`, plus the check rmw makes of the folder's
/// files. Throws std::runtime_error with a "SECURITY ERROR: ..." text when the enclave name
/// is invalid, the strategy is unknown, or, with Enforce, the folder or one of its files is
/// missing or unreadable. With Permissive such a lack yields settings without a directory
/// and one warning per process.
SecuritySettings security_settings_from_environment(const std::string & enclave);

/// Sets the participant's USER_DATA ("enclave=<enclave>;") and, when `settings` has a
/// directory, the dds.sec.* properties: the files as "file:" URIs and the plugins.
void configure_participant_qos(dds_qos_t * qos, const SecuritySettings & settings);

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp

#endif  // RCLCPP__SHIM__DDS__SECURITY_HPP_
