// What rclcpp::init does with the ROS environment, and a process ending with endpoints
// still alive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"

#include "peer_process.hpp"
#include "scoped_env.hpp"

namespace
{

std::string init_error()
{
  try {
    rclcpp::init(0, nullptr);
  } catch (const std::runtime_error & error) {
    return error.what();
  }
  rclcpp::shutdown();
  return "";
}

TEST(Environment, a_domain_id_that_is_no_number_makes_init_fail_and_leaves_the_context_invalid)
{
  {
    ScopedEnv domain("ROS_DOMAIN_ID", "not-a-number");
    const std::string error = init_error();
    EXPECT_NE(error.find("ROS_DOMAIN_ID"), std::string::npos) << error;
    EXPECT_FALSE(rclcpp::ok());
  }
  // The same process initialises normally once the environment is right again.
  EXPECT_EQ(init_error(), "");
  {
    // Naming the implementation in use is no error.
    ScopedEnv implementation("RMW_IMPLEMENTATION", "rmw_cyclonedds_cpp");
    EXPECT_EQ(init_error(), "");
  }
}

// The middleware is picked when the process starts, not at init: a name that no install
// provides ends the process, one way or another, before it has joined any graph.
TEST(Environment, a_process_started_with_an_unknown_rmw_implementation_never_runs)
{
  std::unique_ptr<PeerProcess> peer;
  {
    ScopedEnv implementation("RMW_IMPLEMENTATION", "rmw_no_such_implementation_cpp");
    peer = std::make_unique<PeerProcess>(std::vector<std::string>{DDS_PEER_PATH, "node"});
  }
  const int status = peer->wait_exit();
  ASSERT_EQ(peer->pid(), 0) << "still running: " << peer->out() << peer->err();
  EXPECT_NE(status, 0) << peer->err();
  EXPECT_EQ(peer->out().find("ready"), std::string::npos) << peer->out();
}

TEST(Environment, a_process_exiting_with_live_endpoints_ends_cleanly)
{
  PeerProcess peer({DDS_PEER_PATH, "static"});
  ASSERT_TRUE(peer.wait_for("ready")) << peer.err();
  EXPECT_EQ(peer.wait_exit(), 0) << peer.err();
}

}  // namespace
