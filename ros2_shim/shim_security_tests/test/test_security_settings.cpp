// rclcpp::init under every kind of ROS_SECURITY_* setting: refusals name what is wrong,
// Permissive without credentials runs and says so once, and the participant announces its
// enclave. Every successful init here uses the enclave /robot/a, since one process joins a
// domain with one enclave.
#include <gtest/gtest.h>

#include <dds/dds.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"

namespace
{

std::mutex g_lines_mutex;
std::vector<std::string> g_lines;

void capture(
  const rcutils_log_location_t *, int severity, const char * name, rcutils_time_point_value_t,
  const char * format, va_list * args)
{
  char text[1024];
  va_list copy;
  va_copy(copy, *args);
  std::vsnprintf(text, sizeof(text), format, copy);
  va_end(copy);
  std::lock_guard<std::mutex> lock(g_lines_mutex);
  g_lines.push_back(
    std::to_string(severity) + " " + (name ? name : "") + ": " + text);
}

class SecuritySettings : public ::testing::Test
{
protected:
  void SetUp() override
  {
    for (const char * name : {"ROS_SECURITY_ENABLE", "ROS_SECURITY_STRATEGY",
        "ROS_SECURITY_KEYSTORE", "ROS_SECURITY_ENCLAVE_OVERRIDE"})
    {
      unsetenv(name);
    }
    ASSERT_EQ(rcutils_logging_initialize(), RCUTILS_RET_OK);
    rcutils_logging_set_output_handler(capture);
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    g_lines.clear();
  }

  void TearDown() override
  {
    if (context_ && context_->is_valid()) {
      context_->shutdown("test done");
    }
  }

  /// Init of a context of its own with `--ros-args --enclave <enclave>`; the error text or "".
  std::string Init(const std::string & enclave = "/robot/a")
  {
    context_ = std::make_shared<rclcpp::Context>();
    std::vector<const char *> argv = {"test_security_settings"};
    if (!enclave.empty()) {
      argv.insert(argv.end(), {"--ros-args", "--enclave", enclave.c_str()});
    }
    try {
      context_->init(
        static_cast<int>(argv.size()), argv.data(),
        rclcpp::InitOptions().auto_initialize_logging(false));
    } catch (const std::exception & e) {
      return e.what();
    }
    return "";
  }

  static std::vector<std::string> Warnings()
  {
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    std::vector<std::string> warnings;
    for (const auto & line : g_lines) {
      if (line.rfind(std::to_string(RCUTILS_LOG_SEVERITY_WARN) + " rcl: ", 0) == 0) {
        warnings.push_back(line);
      }
    }
    return warnings;
  }

  static std::string Scratch()
  {
    const std::string dir =
      std::filesystem::temp_directory_path() / ("security_settings_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::shared_ptr<rclcpp::Context> context_;
};

void ExpectContains(const std::string & text, const std::string & part)
{
  EXPECT_NE(text.find(part), std::string::npos) << "'" << part << "' not in:\n" << text;
}

TEST_F(SecuritySettings, EnforceRefusesMissingCredentialsNamingWhatIsMissing)
{
  setenv("ROS_SECURITY_ENABLE", "true", 1);
  setenv("ROS_SECURITY_STRATEGY", "Enforce", 1);
  ExpectContains(
    Init(), "failed to initialize rcl: SECURITY ERROR: ROS_SECURITY_ENABLE is 'true' but "
    "ROS_SECURITY_KEYSTORE is not set");

  const std::string keystore = Scratch() + "/keystore";
  setenv("ROS_SECURITY_KEYSTORE", keystore.c_str(), 1);
  ExpectContains(
    Init(), "SECURITY ERROR: directory '" + keystore + "/enclaves/robot/a' does not exist.");
  // The override selects the folder; the enclave itself stays as given.
  setenv("ROS_SECURITY_ENCLAVE_OVERRIDE", "/robot/b", 1);
  ExpectContains(
    Init(), "SECURITY ERROR: directory '" + keystore + "/enclaves/robot/b' does not exist.");
  setenv("ROS_SECURITY_ENCLAVE_OVERRIDE", "robot", 1);
  ExpectContains(
    Init(), "SECURITY ERROR: ROS_SECURITY_ENCLAVE_OVERRIDE is not valid: 'context name must be "
    "absolute");
  unsetenv("ROS_SECURITY_ENCLAVE_OVERRIDE");

  // Each file in turn: the first one missing is named.
  const std::string folder = keystore + "/enclaves/robot/a";
  std::filesystem::create_directories(folder);
  for (const char * file : {"identity_ca.cert.pem", "cert.pem", "key.pem",
      "permissions_ca.cert.pem", "governance.p7s", "permissions.p7s"})
  {
    ExpectContains(
      Init(), "SECURITY ERROR: '" + folder + "/" + file + "' is missing or not readable");
    std::ofstream(folder + "/" + file) << "-----BEGIN NOTHING-----\n";
  }
  // All there, but not credentials: Cyclone refuses them and init fails, naming the folder.
  const std::string refused = Init();
  ExpectContains(refused, "failed to create the DDS participant for domain");
  ExpectContains(refused, "with the DDS Security files in '" + folder + "'");
  std::filesystem::remove_all(keystore);
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(SecuritySettings, UnknownStrategiesAndBadEnclaveNamesAreErrors)
{
  setenv("ROS_SECURITY_ENABLE", "true", 1);
  for (const char * strategy : {"enforce", "ENFORCE", "Enforcing", "permissive"}) {
    setenv("ROS_SECURITY_STRATEGY", strategy, 1);
    ExpectContains(
      Init(), std::string("SECURITY ERROR: ROS_SECURITY_STRATEGY is '") + strategy +
      "'; expected 'Enforce' or 'Permissive'");
  }
  unsetenv("ROS_SECURITY_ENABLE");
  // The name is checked whether or not security is on, as rcl does.
  ExpectContains(
    Init("/robot//a"), "Enclave name is not valid: 'context name must not contain repeated "
    "'/''. Invalid index: 7");
  ExpectContains(Init("robot"), "Enclave name is not valid: 'context name must be absolute");
}

TEST_F(SecuritySettings, PermissiveWithoutCredentialsRunsUnsecuredAndWarnsOnce)
{
  setenv("ROS_SECURITY_ENABLE", "true", 1);
  setenv("ROS_SECURITY_STRATEGY", "Permissive", 1);
  const std::string missing = Scratch() + "/no_keystore";
  setenv("ROS_SECURITY_KEYSTORE", missing.c_str(), 1);
  ASSERT_EQ("", Init());
  context_->shutdown("again");
  ASSERT_EQ("", Init());
  const auto warnings = Warnings();
  ASSERT_EQ(1u, warnings.size());
  ExpectContains(warnings[0], "directory '" + missing + "/enclaves/robot/a' does not exist");
  ExpectContains(warnings[0], "runs WITHOUT DDS Security");

  // ROS_SECURITY_ENABLE takes "true" only; anything else leaves security off, out loud.
  setenv("ROS_SECURITY_ENABLE", "True", 1);
  setenv("ROS_SECURITY_STRATEGY", "Enforce", 1);
  context_->shutdown("again");
  ASSERT_EQ("", Init());
  ASSERT_EQ(2u, Warnings().size());
  ExpectContains(Warnings()[1], "ROS_SECURITY_ENABLE is 'True', not 'true'");
}

TEST_F(SecuritySettings, TheParticipantAnnouncesItsEnclaveAndKeepsIt)
{
  ASSERT_EQ("", Init());
  auto node = std::make_shared<rclcpp::Node>(
    "announcer", rclcpp::NodeOptions().context(context_));

  // A plain Cyclone participant of the same domain reads the announcement.
  const char * domain_text = std::getenv("ROS_DOMAIN_ID");
  const dds_domainid_t domain = domain_text ? std::atoi(domain_text) : 0;
  const dds_entity_t reader_pp = dds_create_participant(domain, nullptr, nullptr);
  ASSERT_GT(reader_pp, 0);
  const dds_entity_t reader = dds_create_reader(
    reader_pp, DDS_BUILTIN_TOPIC_DCPSPARTICIPANT, nullptr, nullptr);
  ASSERT_GT(reader, 0);
  bool found = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!found && std::chrono::steady_clock::now() < deadline) {
    void * samples[8] = {};
    dds_sample_info_t infos[8];
    const int n = dds_take(reader, samples, infos, 8, 8);
    for (int i = 0; i < n; ++i) {
      const auto * p = static_cast<const dds_builtintopic_participant_t *>(samples[i]);
      void * data = nullptr;
      size_t size = 0;
      if (infos[i].valid_data && dds_qget_userdata(p->qos, &data, &size) && data) {
        found = found || std::string(static_cast<char *>(data), size) == "enclave=/robot/a;";
        dds_free(data);
      }
    }
    if (n > 0) {
      dds_return_loan(reader, samples, n);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(found);
  dds_delete(reader_pp);

  // A second context of this process on the same domain cannot be another enclave.
  auto other = std::make_shared<rclcpp::Context>();
  const char * argv[] = {"test", "--ros-args", "--enclave", "/robot/b"};
  try {
    other->init(4, argv, rclcpp::InitOptions().auto_initialize_logging(false));
    ADD_FAILURE() << "a second enclave on the same domain was accepted";
  } catch (const std::exception & e) {
    ExpectContains(
      e.what(), "SECURITY ERROR: this process already joined domain " +
      std::to_string(domain) + " as enclave '/robot/a' without security; a context with "
      "other security settings cannot join it too");
  }
}

}  // namespace
