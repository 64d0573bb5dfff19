#pragma once
// The controls of the main window as plain state: caption, enabled, visible, checked, width.
// The main window changes them, from the buttons and from the run's events; the Qt window
// shows them, told of each change through one observer.
#include <functional>

#include "quillon/requests/progress.h"
#include "quillon/run/program_version.h"
#include <string>
#include <vector>

namespace quillon {

class WindowControls;

// "Quillon Ver.2.1"
inline std::string WindowCaption() { return "Quillon Ver." + ProgramVersionText(); }

class Control {
 public:
  const std::string& name() const { return name_; }
  const std::string& caption() const { return caption_; }
  bool enabled() const { return enabled_; }
  bool visible() const { return visible_; }
  bool checked() const { return checked_; }
  int width() const { return width_; }

  void setCaption(std::string caption);
  void setEnabled(bool enabled);
  void setVisible(bool visible);
  void setChecked(bool checked);
  void setWidth(int width);

 private:
  friend class WindowControls;
  Control(WindowControls& owner, std::string name, std::string caption)
      : owner_(owner), name_(std::move(name)), caption_(std::move(caption)) {}
  void changed();

  WindowControls& owner_;
  std::string name_;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  int width_ = 0;
};

class WindowControls {
 public:
  using Observer = std::function<void(const Control&)>;

  WindowControls();
  WindowControls(const WindowControls&) = delete;
  WindowControls& operator=(const WindowControls&) = delete;

  // Called after every change of any control (also for a value set to what it was not).
  void setObserver(Observer observer) { observer_ = std::move(observer); }
  const Control* find(const std::string& name) const;

  // The control with the keyboard focus; none: the window itself, so that a key pressed on a
  // button that has just been disabled does not fall through to the next one (Exit).
  const Control* focus() const { return focus_; }
  void setFocus(const Control* control);
  using FocusObserver = std::function<void(const Control*)>;
  void setFocusObserver(FocusObserver observer) { focusObserver_ = std::move(observer); }


  Control cmd_Start{*this, "cmd_Start", "Start"};
  Control cmd_Cancel{*this, "cmd_Cancel", "Cancel"};
  Control cmd_EXIT{*this, "cmd_EXIT", "Exit"};
  Control Check1{*this, "Check1", "DB Load"};
  Control Label1{*this, "Label1", ""};
  Control Label2{*this, "Label2", ""};
  Control Label3{*this, "Label3", ""};
  Control Label4{*this, "Label4", ""};
  Control Label5{*this, "Label5", ""};
  Control Label6{*this, "Label6", ""};
  Control Label7{*this, "Label7", ""};
  Control Label8{*this, "Label8", ""};
  Control Label9{*this, "Label9", ""};
  Control Label10{*this, "Label10", ""};
  Control Label11{*this, "Label11", ""};
  Control Label12{*this, "Label12", ""};
  Control LabelDummy{*this, "LabelDummy", ""};
  Control LabelResend{*this, "LabelResend", ""};  // while a request waits: its re-sends
  Control LabelReading{*this, "LabelReading", ""};  // what is being read: "Bank 2 (2 of 3)", a memory block count
  Control LabelClosing{*this, "LabelClosing", ""};  // the closing message, kept after its dialog until Reset
  Control cmd_View{*this, "cmd_View", "View"};      // the viewer on the save just made
  Control txtDrive{*this, "txtDrive", ""};          // the drive's address; empty: broadcast
  Control cmd_Scan{*this, "cmd_Scan", "Scan"};      // finds the drives to pick from
  Control shpBox{*this, "shpBox", ""};
  Control shpScale{*this, "shpScale", ""};

  std::vector<const Control*> all() const;

 private:
  friend class Control;
  void notify(const Control& control) {
    if (observer_) observer_(control);
  }
  Observer observer_;
  FocusObserver focusObserver_;
  const Control* focus_ = nullptr;
};

}  // namespace quillon
