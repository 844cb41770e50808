#pragma once

namespace pelmar {

// The installation flow's rules, free of windows: which steps exist, what a
// switch from one step to another resizes and hands over. MainWindow applies
// them; tests check them natively.

inline constexpr int kStepNone = -1;  // before the first switch
inline constexpr int kStepReinstall = 0;
inline constexpr int kStepMain = 1;
inline constexpr int kStepCustom = 2;
inline constexpr int kStepProgress = 3;
inline constexpr int kStepFinished = 4;
inline constexpr int kStepCount = 5;

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
  bool takePathFromCustom = false;  // leaving the custom page keeps its path
  bool giveCustomThePath = false;   // entering the custom page from the main one
  bool checkSpace = false;          // steps 1 and 3 compare required and free space
};

// What GoToStep(target) does from `current`. The window is created at
// 600 x 400, so it is resized whenever the target's size differs from the
// current step's (from the initial state, only a first step 0 resizes).
StepPlan PlanStep(int current, int target);

}  // namespace pelmar
