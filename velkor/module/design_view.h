#pragma once
// How the controls look at design time, and their property pages (Qt widgets).
#include <QDialog>
#include <QImage>
#include <string>

#include "platform/automation/dispatch.h"

class QCheckBox;

namespace velkor {

inline constexpr const char* kVelkorLabel = "UDP";
inline constexpr const char* kOstrinLabel = "Ostrin";

// White box, raised edge, the label centred in black on one line.
QImage DrawDesignTime(const std::string& label, int width, int height);

// The "General" page: four switches, read from the control when the page opens and
// assigned through its dispatch interface when applied, so the header refresh rules run.
class CVelkorPropPage : public QDialog {
 public:
  // Control ids of the dialog template.
  enum ControlId { kIdRioHeader = 102, kIdV27Header = 103, kIdSrcIpFilter = 104, kIdLoopBackMode = 105 };

  explicit CVelkorPropPage(QWidget* parent = nullptr);
  void load(platform::automation::Dispatch& control);
  platform::automation::HRESULT apply(platform::automation::Dispatch& control);
  QCheckBox* checkBox(ControlId id) const;

  bool ByteOrderRIO = false, ByteOrderV27 = false, SrcIpFilter = false, LoopBackMode = false;

 private:
  void toWidgets();
  void fromWidgets();
  QCheckBox* rio_;
  QCheckBox* v27_;
  QCheckBox* filter_;
  QCheckBox* loopBack_;
};

// The Ostrin page shows the same switches and binds them in the same way.
using COstrinPropPage = CVelkorPropPage;

// A modal property sheet with the one page, OK, Cancel and Apply; returns true for OK.
bool RunPropertySheet(platform::automation::Dispatch& control, const std::string& title);

}  // namespace velkor
