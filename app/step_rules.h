#pragma once

#include "pages/page_messages.h"

namespace pelmar {

// The installation flow's rules, free of windows: which steps exist (named
// beside the message that asks for them), what a switch from one step to
// another resizes and hands over. The install directory itself has one
// owner (pages/install_target.h), which the custom page changes directly.
// MainWindow applies them; tests check them natively.

struct DesignSize {
  unsigned width = 0;
  unsigned height = 0;
};

// The reinstall reminder is a 400 x 200 page, every other step 600 x 400.
DesignSize StepDesignSize(int step);

struct StepPlan {
  bool valid = false;      // a step below 0 or not below 5 is refused
  bool unchanged = false;  // the current step again: nothing happens
  bool resize = false;     // the window takes `size` first
  DesignSize size;
  bool giveCustomThePath = false;  // entering the custom page from the main one
  bool checkSpace = false;         // steps 1 and 3 compare required and free space
};

// What GoToStep(target) does from `current`. The window is created at
// 600 x 400, so it is resized whenever the target's size differs from the
// current step's (from the initial state, only a first step 0 resizes).
StepPlan PlanStep(int current, int target);

}  // namespace pelmar
