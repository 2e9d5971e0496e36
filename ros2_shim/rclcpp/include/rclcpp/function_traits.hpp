// Compile-time description of a callable's parameters, used to pick the callback form
// of subscriptions and services from the exact parameter types (as Humble does), so that
// lambdas, function pointers, std::function and std::bind results are all accepted.
#ifndef RCLCPP__FUNCTION_TRAITS_HPP_
#define RCLCPP__FUNCTION_TRAITS_HPP_

#include <cstddef>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>

namespace rclcpp
{
namespace function_traits
{

namespace detail
{
template<typename T>
struct tuple_tail;

template<typename Head, typename ... Tail>
struct tuple_tail<std::tuple<Head, Tail ...>>
{
  using type = std::tuple<Tail ...>;
};
}  // namespace detail

// Functors and lambdas: look at operator(), dropping the implicit object argument.
template<typename FunctionT>
struct function_traits
{
  using arguments = typename detail::tuple_tail<
    typename function_traits<decltype(&std::decay_t<FunctionT>::operator())>::arguments>::type;

  static constexpr std::size_t arity = std::tuple_size<arguments>::value;

  template<std::size_t N>
  using argument_type = typename std::tuple_element<N, arguments>::type;

  using return_type =
    typename function_traits<decltype(&std::decay_t<FunctionT>::operator())>::return_type;
};

template<typename ReturnTypeT, typename ... Args>
struct function_traits<ReturnTypeT(Args ...)>
{
  using arguments = std::tuple<Args ...>;

  static constexpr std::size_t arity = std::tuple_size<arguments>::value;

  template<std::size_t N>
  using argument_type = typename std::tuple_element<N, arguments>::type;

  using return_type = ReturnTypeT;
};

template<typename ReturnTypeT, typename ... Args>
struct function_traits<ReturnTypeT (*)(Args ...)>: function_traits<ReturnTypeT(Args ...)>
{};

// Const member functions (the call operator of every non-mutable lambda): the object is the
// first argument. As in Humble there is no form for non-const ones, so a mutable lambda is
// refused as a callback here just as it is there.
template<typename ClassT, typename ReturnTypeT, typename ... Args>
struct function_traits<ReturnTypeT (ClassT::*)(Args ...) const>
  : function_traits<ReturnTypeT(ClassT &, Args ...)>
{};

#if defined __GLIBCXX__
// std::bind of a member function with every parameter left to placeholders.
template<typename ClassT, typename ReturnTypeT, typename ... Args, typename ... FArgs>
struct function_traits<std::_Bind<ReturnTypeT(ClassT::* (FArgs ...))(Args ...)>>
  : function_traits<ReturnTypeT(Args ...)>
{};

template<typename ClassT, typename ReturnTypeT, typename ... Args, typename ... FArgs>
struct function_traits<std::_Bind<ReturnTypeT(ClassT::* (FArgs ...))(Args ...) const>>
  : function_traits<ReturnTypeT(Args ...)>
{};

// std::bind of a free function.
template<typename ReturnTypeT, typename ... Args, typename ... FArgs>
struct function_traits<std::_Bind<ReturnTypeT(*(FArgs ...))(Args ...)>>
  : function_traits<ReturnTypeT(Args ...)>
{};
#elif defined _LIBCPP_VERSION
template<typename ClassT, typename ReturnTypeT, typename ... Args, typename ... FArgs>
struct function_traits<std::__bind<ReturnTypeT (ClassT::*)(Args ...), FArgs ...>>
  : function_traits<ReturnTypeT(Args ...)>
{};

template<typename ClassT, typename ReturnTypeT, typename ... Args, typename ... FArgs>
struct function_traits<std::__bind<ReturnTypeT (ClassT::*)(Args ...) const, FArgs ...>>
  : function_traits<ReturnTypeT(Args ...)>
{};

template<typename ReturnTypeT, typename ... Args, typename ... FArgs>
struct function_traits<std::__bind<ReturnTypeT( &)(Args ...), FArgs ...>>
  : function_traits<ReturnTypeT(Args ...)>
{};
#endif

// Strip references and cv from the callable itself.
template<typename FunctionT>
struct function_traits<FunctionT &>: function_traits<FunctionT>
{};

template<typename FunctionT>
struct function_traits<FunctionT &&>: function_traits<FunctionT>
{};

template<typename FunctionT>
struct function_traits<const FunctionT>: function_traits<FunctionT>
{};

template<typename FunctionT>
struct function_traits<std::function<FunctionT>>: function_traits<FunctionT>
{};

/// True if FunctorT takes exactly Arity parameters.
template<std::size_t Arity, typename FunctorT>
struct arity_comparator : std::integral_constant<
    bool, (Arity == function_traits<FunctorT>::arity)> {};

/// True if FunctorT takes exactly Args.
template<typename FunctorT, typename ... Args>
struct check_arguments : std::is_same<
    typename function_traits<FunctorT>::arguments,
    std::tuple<Args ...>>
{};

template<typename FunctorAT, typename FunctorBT>
struct same_arguments : std::is_same<
    typename function_traits<FunctorAT>::arguments,
    typename function_traits<FunctorBT>::arguments>
{};

}  // namespace function_traits
}  // namespace rclcpp

#endif  // RCLCPP__FUNCTION_TRAITS_HPP_
