#include "security.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/shim/names.hpp"
#include "rcutils/logging_macros.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

std::string env(const char * name)
{
  const char * value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

[[noreturn]] void refuse(const std::string & message)
{
  throw std::runtime_error("SECURITY ERROR: " + message);
}

/// rcl validates an enclave name as a namespace, with its own words for the faults.
void validate_enclave_name(const std::string & name, const char * what)
{
  try {
    validate_namespace(name);
  } catch (const rclcpp::exceptions::NameValidationError & e) {
    std::string message = e.error_msg;
    const std::string word = "namespace";
    if (message.compare(0, word.size(), word) == 0) {
      message.replace(0, word.size(), "context name");
    }
    refuse(
      std::string(what) + " is not valid: '" + message + "'. Invalid index: " +
      std::to_string(e.invalid_index));
  }
}

bool is_directory(const std::string & path)
{
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_readable_file(const std::string & path)
{
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), R_OK) == 0;
}

/// rcl's lookup: "<keystore>/enclaves" for "/", else the enclave's segments below it.
std::string enclave_directory(const std::string & keystore, const std::string & name)
{
  std::string path = keystore + "/enclaves";
  if (name != "/") {
    path += name;
  }
  return path;
}

/// Permissive lets the process run without security; say so once, not per context.
void warn_unsecured(const std::string & reason)
{
  static std::atomic<bool> warned{false};
  if (!warned.exchange(true)) {
    RCUTILS_LOG_WARN_NAMED(
      "rcl", "SECURITY WARNING: %s; ROS_SECURITY_STRATEGY is Permissive, so this process "
      "runs WITHOUT DDS Security", reason.c_str());
  }
}

void set_file_property(
  dds_qos_t * qos, const char * property, const std::string & directory, const char * file)
{
  // Cyclone takes "file:" URIs (and "data:"); rmw_cyclonedds_cpp hands over files.
  const std::string uri = "file:" + directory + "/" + file;
  dds_qset_prop(qos, property, uri.c_str());
}

}  // namespace

const std::vector<std::string> & enclave_file_names()
{
  static const std::vector<std::string> names = {
    "identity_ca.cert.pem", "cert.pem", "key.pem", "permissions_ca.cert.pem",
    "governance.p7s", "permissions.p7s"};
  return names;
}

SecuritySettings security_settings_from_environment(const std::string & enclave)
{
  SecuritySettings settings;
  settings.enclave = enclave.empty() ? "/" : enclave;
  validate_enclave_name(settings.enclave, "Enclave name");

  const std::string enable = env("ROS_SECURITY_ENABLE");
  settings.enabled = enable == "true";
  if (!settings.enabled) {
    if (!enable.empty() && enable != "false") {
      // rcl takes only "true"; a "True" or "1" would otherwise leave security off unnoticed.
      RCUTILS_LOG_WARN_NAMED(
        "rcl", "ROS_SECURITY_ENABLE is '%s', not 'true': DDS Security is disabled",
        enable.c_str());
    }
    return settings;
  }

  const std::string strategy = env("ROS_SECURITY_STRATEGY");
  if (strategy == "Enforce") {
    settings.enforce = true;
  } else if (!strategy.empty() && strategy != "Permissive") {
    // A misspelt "Enforce" must not quietly become Permissive.
    refuse(
      "ROS_SECURITY_STRATEGY is '" + strategy + "'; expected 'Enforce' or 'Permissive'");
  }

  const std::string keystore = env("ROS_SECURITY_KEYSTORE");
  if (keystore.empty()) {
    if (settings.enforce) {
      refuse("ROS_SECURITY_ENABLE is 'true' but ROS_SECURITY_KEYSTORE is not set");
    }
    warn_unsecured("ROS_SECURITY_KEYSTORE is not set");
    return settings;
  }
  std::string lookup = settings.enclave;
  const std::string override_name = env("ROS_SECURITY_ENCLAVE_OVERRIDE");
  if (!override_name.empty()) {
    validate_enclave_name(override_name, "ROS_SECURITY_ENCLAVE_OVERRIDE");
    lookup = override_name;
  }
  const std::string directory = enclave_directory(keystore, lookup);
  if (!is_directory(directory)) {
    const std::string reason = "directory '" + directory + "' does not exist";
    if (settings.enforce) {
      refuse(reason + ".");  // rcl's words
    }
    warn_unsecured(reason);
    return settings;
  }
  RCUTILS_LOG_INFO_NAMED("rcl", "Found security directory: %s", directory.c_str());

  for (const std::string & name : enclave_file_names()) {
    const std::string path = directory + "/" + name;
    if (!is_readable_file(path)) {
      const std::string reason = "'" + path + "' is missing or not readable";
      if (settings.enforce) {
        refuse(reason);
      }
      warn_unsecured(reason);
      return settings;
    }
  }
  settings.directory = directory;
  return settings;
}

void configure_participant_qos(dds_qos_t * qos, const SecuritySettings & settings)
{
  const std::string user_data = "enclave=" + settings.enclave + ";";
  dds_qset_userdata(qos, user_data.data(), user_data.size());
  if (settings.directory.empty()) {
    return;
  }
  const std::string & dir = settings.directory;
  set_file_property(qos, "dds.sec.auth.identity_ca", dir, "identity_ca.cert.pem");
  set_file_property(qos, "dds.sec.auth.identity_certificate", dir, "cert.pem");
  set_file_property(qos, "dds.sec.auth.private_key", dir, "key.pem");
  set_file_property(qos, "dds.sec.access.permissions_ca", dir, "permissions_ca.cert.pem");
  set_file_property(qos, "dds.sec.access.governance", dir, "governance.p7s");
  set_file_property(qos, "dds.sec.access.permissions", dir, "permissions.p7s");

  // Library names without prefix or suffix: Debian's Cyclone looks them up in its own
  // plugin folder (/usr/lib/<triplet>/libddsc0debian/).
  dds_qset_prop(qos, "dds.sec.auth.library.path", "dds_security_auth");
  dds_qset_prop(qos, "dds.sec.auth.library.init", "init_authentication");
  dds_qset_prop(qos, "dds.sec.auth.library.finalize", "finalize_authentication");
  dds_qset_prop(qos, "dds.sec.crypto.library.path", "dds_security_crypto");
  dds_qset_prop(qos, "dds.sec.crypto.library.init", "init_crypto");
  dds_qset_prop(qos, "dds.sec.crypto.library.finalize", "finalize_crypto");
  dds_qset_prop(qos, "dds.sec.access.library.path", "dds_security_ac");
  dds_qset_prop(qos, "dds.sec.access.library.init", "init_access_control");
  dds_qset_prop(qos, "dds.sec.access.library.finalize", "finalize_access_control");
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
