// Topic diagnostics: publication frequency and, for stamped messages, timestamp delay.
#ifndef DIAGNOSTIC_UPDATER__PUBLISHER_HPP_
#define DIAGNOSTIC_UPDATER__PUBLISHER_HPP_

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "diagnostic_msgs/msg/diagnostic_array.hpp"
#include "diagnostic_updater/update_functions.hpp"
#include "std_msgs/msg/header.hpp"

#include "rclcpp/clock.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/subscription.hpp"

namespace diagnostic_updater
{
namespace detail
{
/// True for message types with a std_msgs/Header member named header.
template<typename T, typename = void>
struct has_header : public std::false_type
{};

template<typename T>
struct has_header<T,
  typename std::enable_if<std::is_same<std_msgs::msg::Header,
  decltype(std::declval<T>().header)>::value>::type>
  : public std::true_type
{};
}  // namespace detail

/// Frequency diagnostics of a topic whose messages carry no header.
/**
 * Adds itself to the updater as "<name> topic status"; call tick() for every publication. The
 * object must outlive the updater's use of it.
 */
class HeaderlessTopicDiagnostic : public CompositeDiagnosticTask
{
public:
  HeaderlessTopicDiagnostic(
    std::string name, diagnostic_updater::Updater & diag,
    const diagnostic_updater::FrequencyStatusParam & freq,
    const rclcpp::Clock::SharedPtr & clock = std::make_shared<rclcpp::Clock>())
  : CompositeDiagnosticTask(name + " topic status"), freq_(freq, clock)
  {
    addTask(&freq_);
    diag.add(*this);
  }

  virtual ~HeaderlessTopicDiagnostic() {}

  /// Records one publication.
  virtual void tick() {freq_.tick();}

  /// Restarts the frequency window.
  virtual void clear_window() {freq_.clear();}

private:
  diagnostic_updater::FrequencyStatus freq_;
};

/// Frequency and timestamp diagnostics of a topic; tick() takes the message's stamp.
class TopicDiagnostic : public HeaderlessTopicDiagnostic
{
public:
  TopicDiagnostic(
    std::string name, diagnostic_updater::Updater & diag,
    const diagnostic_updater::FrequencyStatusParam & freq,
    const diagnostic_updater::TimeStampStatusParam & stamp,
    const rclcpp::Clock::SharedPtr & clock = std::make_shared<rclcpp::Clock>())
  : HeaderlessTopicDiagnostic(name, diag, freq, clock),
    stamp_(stamp, clock),
    error_logger_(rclcpp::get_logger("TopicDiagnostic_error_logger"))
  {
    addTask(&stamp_);
  }

  virtual ~TopicDiagnostic() {}

  /// Wrong overload for a stamped topic: logs a fatal message and records nothing.
  void tick() override
  {
    std::string error_msg = "tick(void) has been called on a TopicDiagnostic.";
    error_msg += " This is never correct. Use tick(rclcpp::Time &) instead.";
    RCLCPP_FATAL(error_logger_, "%s", error_msg.c_str());
  }

  /// Records one publication stamped `stamp`.
  virtual void tick(const rclcpp::Time & stamp)
  {
    stamp_.tick(stamp);
    HeaderlessTopicDiagnostic::tick();
  }

private:
  TimeStampStatus stamp_;
  rclcpp::Logger error_logger_;
};

/// A publisher of stamped messages that feeds a TopicDiagnostic with every message it sends.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class DiagnosedPublisher : public TopicDiagnostic
{
public:
  using PublisherT = rclcpp::Publisher<MessageT, AllocatorT>;

  DiagnosedPublisher(
    const typename PublisherT::SharedPtr & pub,
    diagnostic_updater::Updater & diag,
    const diagnostic_updater::FrequencyStatusParam & freq,
    const diagnostic_updater::TimeStampStatusParam & stamp)
  : TopicDiagnostic(pub->get_topic_name(), diag, freq, stamp),
    publisher_(pub)
  {
    static_assert(detail::has_header<MessageT>::value, "Message type has to have a header.");
  }

  virtual ~DiagnosedPublisher() {}

  /// Records the message's header.stamp, then publishes it.
  virtual void publish(typename PublisherT::MessageUniquePtr message)
  {
    tick(message->header.stamp);
    publisher_->publish(std::move(message));
  }

  /// Records the message's header.stamp, then publishes it.
  virtual void publish(const MessageT & message)
  {
    tick(message.header.stamp);
    publisher_->publish(message);
  }

  typename PublisherT::SharedPtr getPublisher() const {return publisher_;}

  void setPublisher(typename PublisherT::SharedPtr pub) {publisher_ = pub;}

private:
  typename PublisherT::SharedPtr publisher_;
};

}  // namespace diagnostic_updater

#endif  // DIAGNOSTIC_UPDATER__PUBLISHER_HPP_
