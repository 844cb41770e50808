#include "app/step_rules.h"

namespace pelmar {

DesignSize StepDesignSize(int step) {
  if (step == kStepReinstall) return {400, 200};
  return {600, 400};
}

StepPlan PlanStep(int current, int target) {
  StepPlan plan;
  if (target < 0 || target >= kStepCount) return plan;
  plan.valid = true;
  if (target == current) {
    plan.unchanged = true;
    return plan;
  }
  const DesignSize from = current == kStepNone ? DesignSize{600, 400} : StepDesignSize(current);
  plan.size = StepDesignSize(target);
  plan.resize = from.width != plan.size.width || from.height != plan.size.height;
  plan.giveCustomThePath = target == kStepCustom && current == kStepMain;
  plan.checkSpace = target == kStepMain || target == kStepProgress;
  return plan;
}

}  // namespace pelmar
