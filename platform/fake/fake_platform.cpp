#include "platform/fake/fake_platform.h"

namespace fake {

namespace {

State& Instance() {
  static State state;
  return state;
}

}  // namespace

State& Get() { return Instance(); }

void Reset() { Instance() = State(); }

}  // namespace fake
