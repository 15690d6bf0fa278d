#pragma once
// Runs a piece of a test without the capabilities that let root read, write and search every
// folder, so that permission faults show under root (as in CI) just as for a user. Capabilities
// belong to a thread on Linux: only the helper thread gives them up, the test keeps them.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>
#include <utility>

namespace tessane::test {

template <class Fn>
void WithoutFileRights(Fn&& fn) {
  std::thread worker([&fn] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) == 0) {
      const unsigned dropped =
          (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
      data[0].effective &= ~dropped;
      ::syscall(SYS_capset, &header, data);
    }
    fn();
  });
  worker.join();
}

}  // namespace tessane::test
