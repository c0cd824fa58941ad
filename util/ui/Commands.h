// Commands entered from the event loop. A failure that none of a command's handlers caught ends
// the command in the application error box, and the program goes on: nothing leaves a slot or
// an event handler, where Qt could not take it.
#pragma once

#include <QObject>
#include <cstddef>
#include <exception>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace quillon::ui {

// The application error box for a failure: its own text, "Out of memory", or "Unknown error"
// for what is no standard exception.
void ShowFailure(const std::exception& error);
void ShowUnknownFailure();

// Runs a command, telling a failure in the application error box.
template <typename Command>
void RunCommand(Command&& command) {
  try {
    command();
  } catch (const std::exception& error) {
    ShowFailure(error);
  } catch (...) {
    ShowUnknownFailure();
  }
}

namespace detail {

template <typename Target, typename Tuple, std::size_t... I>
constexpr bool TakesFirst(std::index_sequence<I...>) {
  return std::is_invocable_v<Target&, std::tuple_element_t<I, Tuple>...>;
}

// Calls the target with as many of the signal's first arguments as it takes, as Qt calls a slot.
template <std::size_t N, typename Target, typename Tuple>
void CallWithFirst(Target& target, const Tuple& args) {
  if constexpr (TakesFirst<Target, Tuple>(std::make_index_sequence<N>{})) {
    [&]<std::size_t... I>(std::index_sequence<I...>) { std::invoke(target, std::get<I>(args)...); }
    (std::make_index_sequence<N>{});
  } else {
    static_assert(N > 0, "the command takes none of the signal's arguments");
    CallWithFirst<N - 1>(target, args);
  }
}

template <typename Receiver, typename Command, typename... Args>
void Call(Receiver* receiver, const Command& command, const Args&... args) {
  const auto arguments = std::forward_as_tuple(args...);
  if constexpr (std::is_member_function_pointer_v<Command>) {
    auto member = [&](const auto&... taken) -> decltype(std::invoke(command, receiver, taken...)) {
      return std::invoke(command, receiver, taken...);
    };
    CallWithFirst<sizeof...(Args)>(member, arguments);
  } else {
    CallWithFirst<sizeof...(Args)>(command, arguments);
  }
}

}  // namespace detail

// Connects a signal to a command run through RunCommand: a member function of the receiver or
// a callable, taking the signal's arguments or none. The connection ends with the receiver.
template <typename Sender, typename Signal, typename Receiver, typename Command>
QMetaObject::Connection ConnectCommand(Sender* sender, Signal signal, Receiver* receiver,
                                       Command command) {
  return QObject::connect(sender, signal, receiver, [receiver, command](const auto&... args) {
    RunCommand([&] { detail::Call(receiver, command, args...); });
  });
}

}  // namespace quillon::ui
