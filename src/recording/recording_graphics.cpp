#include "recording/recording_graphics.h"

#include <cmath>

namespace orbelune {
using ojson = nlohmann::ordered_json;

namespace {
ojson coordinate(double v) {
  if (std::isfinite(v) && std::trunc(v) == v && std::fabs(v) < 9e15) return static_cast<std::int64_t>(v);
  return v;
}
}  // namespace

ojson colorJson(const ColorField& c) {
  if (!c) return nullptr;
  return ojson::array({c->red, c->green, c->blue, c->alpha});
}

void RecordingGraphics::setColor(const ColorField& held, const Color& shown) {
  current_ = held;
  if (inner_) inner_->setColor(held, shown);
}

void RecordingGraphics::rectFill(const Rect& rect) {
  ops_.emplace_back(Fill{rect, current_});
  if (inner_) inner_->rectFill(rect);
}

void RecordingGraphics::stroke(const BezierPath& path) {
  ops_.emplace_back(Stroke{path.lineWidth(), path.lineJoinStyle(), current_, path.elements()});
  if (inner_) inner_->stroke(path);
}

Size RecordingGraphics::measureText(const StyledString& text) {
  if (inner_) return inner_->measureText(text);
  return Size{kFallbackAdvance * text.font.size * static_cast<double>(text.string.size()), text.font.size};
}

void RecordingGraphics::drawText(const StyledString& text, Point point, const Color& shownColor) {
  double width = measureText(text).width;
  ops_.emplace_back(Text{text.string, text.font.name, text.font.size, point, width, text.color});
  if (inner_) inner_->drawText(text, point, shownColor);
}

ojson RecordingGraphics::opsJson() const {
  ojson list = ojson::array();
  for (const auto& op : ops_) {
    ojson j;
    if (auto f = std::get_if<Fill>(&op)) {
      j["op"] = "fill";
      j["rect"] = ojson::array({coordinate(f->rect.origin.x), coordinate(f->rect.origin.y),
                                coordinate(f->rect.size.width), coordinate(f->rect.size.height)});
      j["color"] = colorJson(f->color);
    } else if (auto s = std::get_if<Stroke>(&op)) {
      j["op"] = "stroke";
      j["width"] = s->width;
      j["join"] = s->join == LineJoinStyle::Bevel ? "bevel" : s->join == LineJoinStyle::Round ? "round" : "miter";
      j["color"] = colorJson(s->color);
      ojson points = ojson::array();
      for (const auto& e : s->elements) points.push_back(ojson::array({e.point.x, e.point.y}));
      j["points"] = std::move(points);
    } else if (auto t = std::get_if<Text>(&op)) {
      j["op"] = "text";
      j["string"] = t->string;
      j["font"] = t->font;
      j["size"] = t->size;
      j["point"] = ojson::array({t->point.x, t->point.y});
      j["width"] = t->width;
      j["color"] = colorJson(t->color);
    }
    list.push_back(std::move(j));
  }
  return list;
}

}  // namespace orbelune
