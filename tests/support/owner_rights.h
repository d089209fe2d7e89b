// Takes from the process, for one scope, the rights to give files other owners and any mode
// (CAP_CHOWN, CAP_FOWNER, CAP_FSETID), as an ordinary user lacks them; the user stays who it
// is, so the test can still make and read its tree. Header-only.
#pragma once
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace testing_support {

class WithoutOwnerRights {
 public:
  WithoutOwnerRights() {
    if (syscall(SYS_capget, &header_, saved_) != 0) std::abort();
    __user_cap_data_struct fewer[_LINUX_CAPABILITY_U32S_3];
    for (int i = 0; i < _LINUX_CAPABILITY_U32S_3; ++i) fewer[i] = saved_[i];
    fewer[0].effective &= ~((1u << CAP_CHOWN) | (1u << CAP_FOWNER) | (1u << CAP_FSETID));
    if (syscall(SYS_capset, &header_, fewer) != 0) std::abort();
  }
  ~WithoutOwnerRights() {
    if (syscall(SYS_capset, &header_, saved_) != 0) std::abort();
  }
  WithoutOwnerRights(const WithoutOwnerRights&) = delete;
  WithoutOwnerRights& operator=(const WithoutOwnerRights&) = delete;

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[_LINUX_CAPABILITY_U32S_3]{};
};

}  // namespace testing_support
