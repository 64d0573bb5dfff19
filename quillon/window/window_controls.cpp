#include "quillon/window/window_controls.h"

namespace quillon {

void Control::changed() { owner_.notify(*this); }

void Control::setCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  changed();
}

void Control::setEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  changed();
}

void Control::setVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  changed();
}

void Control::setChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  changed();
}

void Control::setWidth(int width) {
  if (width_ == width) return;
  width_ = width;
  changed();
}

WindowControls::WindowControls() {
  Check1.visible_ = false;      // shown only for "/l"
  LabelDummy.visible_ = false;  // never shown; the conversion keeps its scratch text with the run
  cmd_View.enabled_ = false;    // until a run has saved something
  shpBox.width_ = ProgressBar::kBoxWidth;
}

std::vector<const Control*> WindowControls::all() const {
  return {&cmd_Start, &cmd_Cancel, &cmd_EXIT, &Check1,     &Label1,      &Label2, &Label3,
          &Label4,    &Label5,     &Label6,   &Label7,     &Label8,      &Label9, &Label10,
          &Label11,   &Label12,    &LabelDummy, &LabelResend, &LabelReading, &LabelClosing, &cmd_View,
          &shpBox,    &shpScale,  &txtDrive, &cmd_Scan};
}

void WindowControls::setFocus(const Control* control) {
  focus_ = control;
  if (focusObserver_) focusObserver_(control);
}

const Control* WindowControls::find(const std::string& name) const {
  for (const Control* control : all())
    if (control->name() == name) return control;
  return nullptr;
}

}  // namespace quillon
