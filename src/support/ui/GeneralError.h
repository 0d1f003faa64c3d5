// The application's general error report: an error that leaves a handler is
// shown with its message and the program waits for the operator again.
#pragma once

#include <functional>
#include <type_traits>
#include <utility>

namespace drs {

// Runs the handler; a std::exception escaping it is shown as an error
// message (kind Error), anything else as "Неизвестная ошибка".
// False when the handler was broken off by an error.
bool RunGuarded(const std::function<void()>& handler);

// A handler wrapped by RunGuarded, for connect():
//   connect(button, &QPushButton::clicked, this, Guarded([this] { ... }));
template <typename F>
auto Guarded(F handler) {
  return [handler](auto&&... args) {
    RunGuarded([&] {
      if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
        handler(std::forward<decltype(args)>(args)...);
      else
        handler();
    });
  };
}

}  // namespace drs
