#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "base/app_context.h"
#include "base/win/gdiplus_include.h"
#include "ui/resource_manager.h"
#include "ui/ui_test_support.h"

namespace pelmar {
namespace test {

// The real skin unpacked into a scratch cache (which also runs GDI+), and the
// display scale of a fresh AppContext.
class SkinTest : public testing::Test {
 protected:
  void SetUp() override {
    CreateAppContext();
    manager_ = std::make_unique<CResourceManager>(cache_.path(), &log_);
  }
  void TearDown() override {
    manager_.reset();
    DeleteAppContext();
  }
  void SetScale(double scale) {
    AppContext* ctx = GetAppContext();
    std::lock_guard<CXMutex> lock(ctx->mutex);
    ctx->displayScale = scale;
  }
  Gdiplus::Image* Picture(const wchar_t* name) { return manager_->GetImage(name); }

  ScratchDir cache_;
  RecordingEventSink log_;
  std::unique_ptr<CResourceManager> manager_;
};

// Colour channels of a DIB pixel.
inline int Red(uint32_t p) { return (p >> 16) & 0xFF; }
inline int Green(uint32_t p) { return (p >> 8) & 0xFF; }
inline int Blue(uint32_t p) { return p & 0xFF; }
inline int Alpha(uint32_t p) { return p >> 24; }

}  // namespace test
}  // namespace pelmar
