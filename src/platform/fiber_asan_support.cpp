// Sanitizer builds switch Boost.Context to its ucontext implementation, which tells
// AddressSanitizer of every stack switch. That implementation keeps the running context in a
// thread-local record whose accessor lives in Boost's compiled library, and Debian builds that
// library for the other implementation; so the accessor is provided here.
#if defined(BOOST_USE_UCONTEXT)
#include <boost/context/fiber.hpp>

namespace boost::context::detail {

fiber_activation_record*& fiber_activation_record::current() noexcept {
  // The thread's own context, made on first use; it lives as long as the process.
  thread_local fiber_activation_record* running = new fiber_activation_record();
  return running;
}

}  // namespace boost::context::detail
#endif
