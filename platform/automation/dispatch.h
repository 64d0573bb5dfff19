#pragma once
// Late-bound access to an object, as IDispatch gives it: members are found by DISPID or
// name and invoked as property get, property put or method call. Events go the other way,
// to a sink, by DISPID. Objects are shared_ptr-owned; a sink is not owned by its source.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/result.h"
#include "platform/automation/variant.h"

namespace platform::automation {

using DispId = std::int32_t;
inline constexpr DispId DISPID_UNKNOWN = -1;

enum class InvokeKind { PropertyGet, PropertyPut, Method };

class Dispatch {
 public:
  virtual ~Dispatch() = default;
  // Names compare without regard to case, as automation names do.
  virtual HRESULT getIdOfName(std::string_view name, DispId& id) const = 0;
  virtual HRESULT invoke(DispId id, InvokeKind kind, std::span<const Variant> args, Variant* result) = 0;

  // Conveniences over the two calls above.
  HRESULT get(std::string_view name, Variant& result);
  HRESULT put(std::string_view name, const Variant& value);
  HRESULT call(std::string_view name, std::span<const Variant> args, Variant* result = nullptr);
  HRESULT get(DispId id, Variant& result);
  HRESULT put(DispId id, const Variant& value);
};

// Receives the events of a source, by the source event interface's DISPIDs.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void onEvent(DispId id, std::span<const Variant> args) = 0;
};

// A sink from a callable, for hosts that wire events to handlers.
class FunctionEventSink : public EventSink {
 public:
  using Handler = std::function<void(DispId, std::span<const Variant>)>;
  explicit FunctionEventSink(Handler handler) : handler_(std::move(handler)) {}
  void onEvent(DispId id, std::span<const Variant> args) override { handler_(id, args); }

 private:
  Handler handler_;
};

// The container side a control asks for ambient properties (run mode among them).
class ControlSite {
 public:
  virtual ~ControlSite() = default;
  // The ambient user-mode property: true when the container is running, not designing.
  virtual bool userMode() const { return true; }
};

// Persisted properties, as a host's form file holds them: name = value text.
class PropertyBag {
 public:
  HRESULT read(std::string_view name, Variant& value) const;
  void write(std::string_view name, const Variant& value);
  bool contains(std::string_view name) const;
  // A small text file, one "name = value" line per property, values typed by a prefix.
  HRESULT loadFile(const std::string& path);
  HRESULT saveFile(const std::string& path) const;
  std::string toText() const;
  static HRESULT fromText(std::string_view text, PropertyBag& out);

 private:
  std::vector<std::pair<std::string, Variant>> entries_;
};

// What a host needs of an ActiveX control beyond dispatch.
class Control : public Dispatch {
 public:
  // Connection point of the control's event interface; one sink at a time is enough here,
  // and advising a new one replaces the old. nullptr disconnects.
  virtual void advise(EventSink* sink) = 0;
  virtual void setClientSite(ControlSite* site) = 0;
  // Property persistence of the control's persisted set, and its reset to defaults.
  virtual HRESULT saveProperties(PropertyBag& bag) const = 0;
  virtual HRESULT loadProperties(const PropertyBag& bag) = 0;
  virtual void resetState() = 0;
  // The container tells the control that its ambient properties (user mode among them)
  // have changed.
  virtual void ambientPropertiesChanged() {}
};

class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  virtual HRESULT createInstance(std::shared_ptr<Control>& out) = 0;
};

}  // namespace platform::automation
