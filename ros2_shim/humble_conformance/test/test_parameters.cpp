// Parameter declaration, overrides, typing and error texts of rclcpp::Node.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

class ParametersTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    rclcpp::init(0, nullptr);
  }

  static void TearDownTestSuite()
  {
    rclcpp::shutdown();
  }

  static std::shared_ptr<rclcpp::Node> make_node(
    const std::vector<rclcpp::Parameter> & overrides = {},
    rclcpp::NodeOptions options = rclcpp::NodeOptions())
  {
    options.parameter_overrides(overrides);
    options.start_parameter_services(false);
    options.start_parameter_event_publisher(false);
    return std::make_shared<rclcpp::Node>("param_probe", options);
  }
};

template<typename ExceptionT, typename Fn>
std::string what_of(Fn && fn)
{
  try {
    fn();
  } catch (const ExceptionT & e) {
    return e.what();
  }
  return "<no exception>";
}

TEST_F(ParametersTest, typed_declarations_take_overrides_and_defaults)
{
  auto node = make_node(
    {
      rclcpp::Parameter("d", 2.5),
      rclcpp::Parameter("i", 7),
      rclcpp::Parameter("s", "over"),
      rclcpp::Parameter("ignored", 9),
      rclcpp::Parameter("v", std::vector<double>{1.0, 2.0}),
    });

  EXPECT_DOUBLE_EQ(node->declare_parameter<double>("d", 0.5), 2.5);
  // Any integral type yields int64_t.
  auto i = node->declare_parameter<int>("i", 3);
  static_assert(std::is_same<decltype(i), int64_t>::value, "integral parameters are int64_t");
  EXPECT_EQ(i, 7);
  EXPECT_EQ(node->declare_parameter<std::string>("s", "def"), "over");
  EXPECT_EQ(node->declare_parameter("literal", "text"), "text");
  EXPECT_TRUE(node->declare_parameter<bool>("b", true));
  EXPECT_EQ(node->declare_parameter<int64_t>(
      "ignored", 1, rcl_interfaces::msg::ParameterDescriptor(), true), 1);
  EXPECT_EQ(
    node->declare_parameter<std::vector<double>>("v", std::vector<double>{}),
    (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(
    node->declare_parameter("untyped", rclcpp::ParameterValue(4.0)).get<double>(), 4.0);
  EXPECT_EQ(node->declare_parameter("by_type", rclcpp::PARAMETER_INTEGER).get_type(),
    rclcpp::PARAMETER_NOT_SET);

  EXPECT_EQ(node->get_parameter("d").as_double(), 2.5);
  EXPECT_EQ(node->get_parameter("i").get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(node->get_parameter("s").get_type_name(), "string");

  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterAlreadyDeclaredException>(
      [&] {node->declare_parameter<double>("d", 1.0);}),
    "parameter 'd' has already been declared");
}

TEST_F(ParametersTest, override_of_wrong_type_leaves_parameter_undeclared)
{
  auto node = make_node({rclcpp::Parameter("d_int", 1), rclcpp::Parameter("s_int", 5)});
  const std::string expected =
    "parameter 'd_int' has invalid type: Wrong parameter type, parameter {d_int} is of type "
    "{double}, setting it to {integer} is not allowed.";

  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->declare_parameter<double>("d_int", 0.5);}), expected);
  EXPECT_FALSE(node->has_parameter("d_int"));
  double out = -1.0;
  EXPECT_FALSE(node->get_parameter("d_int", out));
  EXPECT_EQ(out, -1.0);
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterNotDeclaredException>(
      [&] {node->get_parameter("d_int");}), "d_int");

  // Every declaration form rejects it the same way, and again on retry.
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->declare_parameter<double>("d_int");}), expected);
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->declare_parameter("d_int", rclcpp::PARAMETER_DOUBLE);}), expected);
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->declare_parameter("d_int", rclcpp::ParameterValue(0.5));}), expected);

  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->declare_parameter<std::string>("s_int", "def");}),
    "parameter 's_int' has invalid type: Wrong parameter type, parameter {s_int} is of type "
    "{string}, setting it to {integer} is not allowed.");
}

TEST_F(ParametersTest, typed_declaration_without_value_stays_declared_uninitialized)
{
  auto node = make_node();
  EXPECT_EQ(
    what_of<rclcpp::exceptions::UninitializedStaticallyTypedParameterException>(
      [&] {node->declare_parameter<double>("missing");}),
    "Statically typed parameter 'missing' must be initialized.");
  EXPECT_TRUE(node->has_parameter("missing"));
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterUninitializedException>(
      [&] {node->get_parameter("missing");}),
    "parameter 'missing' is not initialized");
  double out = 3.0;
  EXPECT_FALSE(node->get_parameter("missing", out));
  EXPECT_EQ(out, 3.0);
  rclcpp::Parameter param("untouched", 1);
  EXPECT_FALSE(node->get_parameter("missing", param));
  EXPECT_EQ(param.get_name(), "untouched");
  EXPECT_THROW(
    node->declare_parameter<double>("missing", 1.0),
    rclcpp::exceptions::ParameterAlreadyDeclaredException);

  // The untyped form returns a NOT_SET value instead of throwing.
  EXPECT_EQ(
    node->declare_parameter("by_type", rclcpp::PARAMETER_DOUBLE).get_type(),
    rclcpp::PARAMETER_NOT_SET);
  EXPECT_TRUE(node->has_parameter("by_type"));

  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->declare_parameter("unset", rclcpp::ParameterValue());}),
    "parameter 'unset' has invalid type: cannot declare a statically typed parameter with an "
    "uninitialized value");
  EXPECT_EQ(
    what_of<std::invalid_argument>(
      [&] {node->declare_parameter("t", rclcpp::PARAMETER_NOT_SET);}),
    "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET");
  rcl_interfaces::msg::ParameterDescriptor dynamic;
  dynamic.dynamic_typing = true;
  EXPECT_EQ(
    what_of<std::invalid_argument>(
      [&] {node->declare_parameter("t", rclcpp::PARAMETER_BOOL, dynamic);}),
    "declare_parameter(): cannot declare parameter of specific type and pass descriptor"
    "with `dynamic_typing=true`");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParametersException>(
      [&] {node->declare_parameter("", 1);}),
    "parameter name must not be empty");
}

TEST_F(ParametersTest, reading_with_the_wrong_type)
{
  auto node = make_node();
  node->declare_parameter<int64_t>("i", 4);

  double d = 0.0;
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->get_parameter("i", d);}),
    "parameter 'i' has invalid type: expected [double] got [integer]");
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>([&] {node->get_parameter("i").as_double();}),
    "expected [double] got [integer]");
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>(
      [&] {node->get_parameter("i").get_parameter_value().get<std::string>();}),
    "expected [string] got [integer]");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {node->get_parameter("i").get_value<bool>();}),
    "parameter 'i' has invalid type: expected [bool] got [integer]");

  int64_t i = 0;
  EXPECT_TRUE(node->get_parameter("i", i));
  EXPECT_EQ(i, 4);
  EXPECT_FALSE(node->get_parameter("absent", i));
  EXPECT_EQ(node->get_parameter_or<int64_t>("absent", 11), 11);
  int64_t alt = 0;
  EXPECT_FALSE(node->get_parameter_or<int64_t>("absent", alt, 12));
  EXPECT_EQ(alt, 12);

  auto params = node->get_parameters({"i"});
  ASSERT_EQ(params.size(), 1u);
  EXPECT_EQ(params[0].as_int(), 4);
  EXPECT_EQ(params[0].value_to_string(), "4");
  EXPECT_THROW(
    node->get_parameters({"i", "absent"}), rclcpp::exceptions::ParameterNotDeclaredException);
}

TEST_F(ParametersTest, setting_respects_read_only_types_ranges_and_callbacks)
{
  auto node = make_node();
  rcl_interfaces::msg::ParameterDescriptor read_only;
  read_only.read_only = true;
  node->declare_parameter<int64_t>("ro", 1, read_only);
  auto result = node->set_parameter(rclcpp::Parameter("ro", 2));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(result.reason, "parameter 'ro' cannot be set because it is read-only");
  EXPECT_EQ(node->get_parameter("ro").as_int(), 1);

  node->declare_parameter<int64_t>("typed", 1);
  result = node->set_parameter(rclcpp::Parameter("typed", 2.0));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(
    result.reason,
    "Wrong parameter type, parameter {typed} is of type {integer}, setting it to {double} is "
    "not allowed.");
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("typed", 5)).successful);
  EXPECT_EQ(node->get_parameter("typed").as_int(), 5);

  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterNotDeclaredException>(
      [&] {node->set_parameter(rclcpp::Parameter("nope", 1));}),
    "parameter 'nope' cannot be set because it was not declared");

  rcl_interfaces::msg::ParameterDescriptor ranged;
  ranged.floating_point_range.resize(1);
  ranged.floating_point_range[0].from_value = 0.0;
  ranged.floating_point_range[0].to_value = 1.0;
  ranged.floating_point_range[0].step = 0.25;
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterValueException>(
      [&] {node->declare_parameter<double>("ranged", 1.5, ranged);}),
    "parameter 'ranged' could not be set: Parameter {ranged} doesn't comply with floating point "
    "range.");
  node->declare_parameter<double>("ranged", 0.5, ranged);
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("ranged", 1.0)).successful);
  EXPECT_FALSE(node->set_parameter(rclcpp::Parameter("ranged", 0.3)).successful);

  rcl_interfaces::msg::ParameterDescriptor stepped;
  stepped.integer_range.resize(1);
  stepped.integer_range[0].from_value = 0;
  stepped.integer_range[0].to_value = 10;
  stepped.integer_range[0].step = 5;
  node->declare_parameter<int64_t>("stepped", 5, stepped);
  result = node->set_parameter(rclcpp::Parameter("stepped", 7));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(result.reason, "Parameter {stepped} doesn't comply with integer range.");

  auto handle = node->add_on_set_parameters_callback(
    [](const std::vector<rclcpp::Parameter> & parameters) {
      rcl_interfaces::msg::SetParametersResult r;
      r.successful = true;
      for (const auto & p : parameters) {
        if (p.get_name() == "guarded" && p.as_int() < 0) {
          r.successful = false;
          r.reason = "must not be negative";
        }
      }
      return r;
    });
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterValueException>(
      [&] {node->declare_parameter<int64_t>("guarded", -1);}),
    "parameter 'guarded' could not be set: must not be negative");
  node->declare_parameter<int64_t>("guarded", 1);
  result = node->set_parameter(rclcpp::Parameter("guarded", -3));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(result.reason, "must not be negative");
  node->remove_on_set_parameters_callback(handle.get());
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("guarded", -3)).successful);
}

TEST_F(ParametersTest, dynamic_parameters_from_overrides_and_undeclared_sets)
{
  rclcpp::NodeOptions options;
  options.automatically_declare_parameters_from_overrides(true);
  auto node = make_node({rclcpp::Parameter("auto_a", 1), rclcpp::Parameter("auto_b", "x")},
      options);
  EXPECT_TRUE(node->has_parameter("auto_a"));
  EXPECT_EQ(node->get_parameter("auto_b").as_string(), "x");
  // Declared with dynamic typing: a change of type is accepted.
  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("auto_a", "now a string")).successful);
  EXPECT_EQ(node->get_parameter("auto_a").get_type(), rclcpp::PARAMETER_STRING);

  rclcpp::NodeOptions open;
  open.allow_undeclared_parameters(true);
  auto open_node = make_node({}, open);
  EXPECT_TRUE(open_node->set_parameter(rclcpp::Parameter("free", 3)).successful);
  EXPECT_TRUE(open_node->has_parameter("free"));
  EXPECT_EQ(open_node->get_parameter("free").as_int(), 3);
  EXPECT_EQ(open_node->get_parameter("never").get_type(), rclcpp::PARAMETER_NOT_SET);
}

TEST_F(ParametersTest, listing_prefixes_atomic_sets_and_undeclare)
{
  auto node = make_node();
  node->declare_parameter<double>("limits.linear.max", 1.0);
  node->declare_parameter<double>("limits.angular", 2.0);
  node->declare_parameter<int64_t>("top", 1);
  rcl_interfaces::msg::ParameterDescriptor dynamic;
  dynamic.dynamic_typing = true;
  node->declare_parameter("dyn", rclcpp::ParameterValue(1), dynamic);

  std::map<std::string, double> limits;
  EXPECT_TRUE(node->get_parameters("limits", limits));
  EXPECT_EQ(limits.size(), 2u);
  EXPECT_EQ(limits.at("linear.max"), 1.0);
  EXPECT_EQ(limits.at("angular"), 2.0);
  std::map<std::string, double> none;
  EXPECT_FALSE(node->get_parameters("nothing", none));

  // The depth counts the separator after the prefix too.
  auto listed = node->list_parameters({"limits"}, 2);
  EXPECT_EQ(listed.names, (std::vector<std::string>{"limits.angular"}));
  listed = node->list_parameters({"limits"}, 0);
  EXPECT_EQ(listed.names, (std::vector<std::string>{"limits.angular", "limits.linear.max"}));
  EXPECT_EQ(listed.prefixes, (std::vector<std::string>{"limits", "limits.linear"}));

  EXPECT_EQ(node->describe_parameter("top").type, rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(node->describe_parameter("top").name, "top");
  EXPECT_EQ(
    node->get_parameter_types({"top", "limits.angular"}),
    (std::vector<uint8_t>{rclcpp::PARAMETER_INTEGER, rclcpp::PARAMETER_DOUBLE}));

  // One rejected member rejects the whole atomic set.
  auto result = node->set_parameters_atomically(
    {rclcpp::Parameter("top", 2), rclcpp::Parameter("limits.angular", "bad")});
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(node->get_parameter("top").as_int(), 1);
  auto results = node->set_parameters(
    {rclcpp::Parameter("top", 3), rclcpp::Parameter("limits.angular", "bad")});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].successful);
  EXPECT_FALSE(results[1].successful);
  EXPECT_EQ(node->get_parameter("top").as_int(), 3);

  EXPECT_THROW(node->undeclare_parameter("top"), rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_THROW(
    node->undeclare_parameter("never"), rclcpp::exceptions::ParameterNotDeclaredException);
  node->undeclare_parameter("dyn");
  EXPECT_FALSE(node->has_parameter("dyn"));
}

TEST(ParameterValueTest, conversions_and_strings)
{
  EXPECT_EQ(rclcpp::to_string(rclcpp::PARAMETER_INTEGER_ARRAY), "integer_array");
  EXPECT_EQ(rclcpp::to_string(rclcpp::PARAMETER_NOT_SET), "not set");
  rclcpp::Parameter p("arr", std::vector<int64_t>{1, 2, 3});
  EXPECT_EQ(p.value_to_string(), "[1, 2, 3]");
  EXPECT_EQ(rclcpp::Parameter("b", true).value_to_string(), "true");
  EXPECT_EQ(
    std::to_string(p),
    "{\"name\": \"arr\", \"type\": \"integer_array\", \"value\": \"[1, 2, 3]\"}");
  auto msg = p.to_parameter_msg();
  EXPECT_EQ(rclcpp::Parameter::from_parameter_msg(msg), p);
  EXPECT_EQ(rclcpp::ParameterValue(std::vector<int>{1, 2}).get_type(),
    rclcpp::PARAMETER_INTEGER_ARRAY);
  EXPECT_EQ(rclcpp::ParameterValue(1.5f).get<double>(), 1.5);
}

}  // namespace
