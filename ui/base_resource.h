#pragma once

#include "ui/widget_geometry.h"

// The device context a resource paints on (a Windows HDC).
struct HDC__;

namespace pelmar {

using NativeDc = HDC__*;

// A visible element of a page: a type (what the view's mouse handling looks
// at), an id (what the page's rules look at), a rectangle in client pixels.
// Used on the user-interface thread only.
class IBaseResource {
 public:
  IBaseResource(int type, int id) : type_(type), id_(id) {}
  virtual ~IBaseResource() = default;
  IBaseResource(const IBaseResource&) = delete;
  IBaseResource& operator=(const IBaseResource&) = delete;

  // Paints onto a 32-bit device context; true also when invisible.
  virtual bool Draw(NativeDc hdc) = 0;
  virtual bool SetRect(int left, int top, int right, int bottom) = 0;

  int type() const { return type_; }
  int id() const { return id_; }
  const UiRect& rect() const { return rect_; }
  bool visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

 protected:
  int type_;
  int id_;
  UiRect rect_{0, 0, 50, 20};
  bool visible_ = true;
};

// The process's display scale (1.0 before start-up created the context).
double CurrentDisplayScale();

}  // namespace pelmar
