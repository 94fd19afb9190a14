// Scoped use of the switch that makes the accelerated paths report themselves
// absent, restored on every exit from the test, failed assertions included.
#ifndef SECNATIVE_TESTS_SUPPORT_PORTABLE_SWITCH_H
#define SECNATIVE_TESTS_SUPPORT_PORTABLE_SWITCH_H

#include "crypto/cpu_features.h"

namespace secnative::test {

class PortableSwitch {
  public:
    explicit PortableSwitch(bool on) : previous_(crypto::force_portable(on)) {}
    ~PortableSwitch() { crypto::force_portable(previous_); }
    PortableSwitch(const PortableSwitch&) = delete;
    PortableSwitch& operator=(const PortableSwitch&) = delete;

  private:
    bool previous_;
};

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_PORTABLE_SWITCH_H
