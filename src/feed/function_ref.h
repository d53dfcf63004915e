// A non-owning reference to a callable, for callbacks that never outlive the
// call they are passed to: unlike std::function it never allocates.
#pragma once
#include <utility>

namespace moravex::feed {

template <class Signature>
class FunctionRef;

template <class Result, class... Args>
class FunctionRef<Result(Args...)> {
 public:
  template <class Callable>
  FunctionRef(Callable& callable)  // NOLINT: implicit, as std::function is
      : object_(&callable), call_([](void* object, Args... args) -> Result {
          return (*static_cast<Callable*>(object))(std::forward<Args>(args)...);
        }) {}
  Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  Result (*call_)(void*, Args...);
};

}  // namespace moravex::feed
