#include "platform/cairo/cairo_graphics.h"

#include <algorithm>
#include <cmath>

namespace orbelune {

struct CairoGraphics::Coverage {
  cairo_surface_t* mask = nullptr;  // A8, or null when the path covers nothing
  double x = 0.0;                   // device position of the mask's origin
  double y = 0.0;
  double height = 0.0;              // the surface height the mask was made for
  ~Coverage() {
    if (mask) cairo_surface_destroy(mask);
  }
};

namespace {
cairo_line_join_t cairoJoin(LineJoinStyle s) {
  switch (s) {
    case LineJoinStyle::Round: return CAIRO_LINE_JOIN_ROUND;
    case LineJoinStyle::Bevel: return CAIRO_LINE_JOIN_BEVEL;
    default: return CAIRO_LINE_JOIN_MITER;
  }
}
}  // namespace

CairoGraphics::CairoGraphics(cairo_surface_t* surface)
    : surface_(surface), cr_(cairo_create(surface)), height_(cairo_image_surface_get_height(surface)) {}

CairoGraphics::~CairoGraphics() { cairo_destroy(cr_); }

void CairoGraphics::setColor(const ColorField& held, const Color& shown) {
  (void)held;
  current_ = shown;
}

void CairoGraphics::rectFill(const Rect& r) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_rectangle(cr_, r.origin.x, height_ - r.origin.y - r.size.height, r.size.width, r.size.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

void CairoGraphics::tracePath(cairo_t* cr, const BezierPath& path, double dx, double dy) const {
  cairo_new_path(cr);
  for (const auto& e : path.elements()) {
    double x = e.point.x - dx;
    double y = height_ - e.point.y - dy;
    if (e.isMove) cairo_move_to(cr, x, y);
    else cairo_line_to(cr, x, y);
  }
  cairo_set_line_width(cr, path.lineWidth());
  cairo_set_line_join(cr, cairoJoin(path.lineJoinStyle()));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void CairoGraphics::strokeUncached(const BezierPath& path) {
  tracePath(cr_, path, 0.0, 0.0);
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_stroke(cr_);
}

std::shared_ptr<CairoGraphics::Coverage> CairoGraphics::coverageOf(const BezierPath& path) {
  auto cached = std::static_pointer_cast<Coverage>(path.backendCache);
  if (cached && cached->height == height_) return cached;

  auto cov = std::make_shared<Coverage>();
  cov->height = height_;
  path.backendCache = cov;
  const auto& els = path.elements();
  if (els.empty()) return cov;
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (const auto& e : els) {
    double x = e.point.x, y = height_ - e.point.y;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  // Butt caps and bevel joins stay within half the line width of the points; a
  // miter can reach further, so other joins get a wider margin.
  double half = std::fabs(path.lineWidth()) * 0.5;
  double margin = (path.lineJoinStyle() == LineJoinStyle::Miter ? half * 10.0 : half) + 2.0;
  double left = std::floor(x0 - margin), top = std::floor(y0 - margin);
  double w = std::ceil(x1 + margin) - left, h = std::ceil(y1 + margin) - top;
  if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0 || w * h > 64e6) {
    return cov;  // degenerate or enormous: strokeUncached handles it
  }
  cov->mask = cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(w), static_cast<int>(h));
  cov->x = left;
  cov->y = top;
  cairo_t* mcr = cairo_create(cov->mask);
  tracePath(mcr, path, left, top);
  cairo_set_source_rgba(mcr, 0, 0, 0, 1);
  cairo_stroke(mcr);
  cairo_destroy(mcr);
  cairo_surface_flush(cov->mask);
  return cov;
}

void CairoGraphics::stroke(const BezierPath& path) {
  auto cov = coverageOf(path);
  if (!cov->mask) {
    if (path.elements().size() > 1) strokeUncached(path);
    return;
  }
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_mask_surface(cr_, cov->mask, cov->x, cov->y);
}

Size CairoGraphics::sizeOfString(const StyledString& text) {
  return text_.measure(text.string, text.font.name, text.font.size);
}

void CairoGraphics::drawAtPoint(const StyledString& text, Point point, const Color& shown) {
  Size box = text_.measure(text.string, text.font.name, text.font.size);
  cairo_save(cr_);
  cairo_set_source_rgba(cr_, shown.red, shown.green, shown.blue, shown.alpha);
  text_.show(cr_, text.string, text.font.name, text.font.size, point.x, height_ - point.y - box.height);
  cairo_restore(cr_);
}

}  // namespace orbelune
