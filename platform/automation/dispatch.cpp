#include "platform/automation/dispatch.h"

namespace platform::automation {

HRESULT Dispatch::get(std::string_view name, Variant& result) {
  DispId id = DISPID_UNKNOWN;
  const HRESULT hr = getIdOfName(name, id);
  return Failed(hr) ? hr : get(id, result);
}

HRESULT Dispatch::put(std::string_view name, const Variant& value) {
  DispId id = DISPID_UNKNOWN;
  const HRESULT hr = getIdOfName(name, id);
  return Failed(hr) ? hr : put(id, value);
}

HRESULT Dispatch::call(std::string_view name, std::span<const Variant> args, Variant* result) {
  DispId id = DISPID_UNKNOWN;
  const HRESULT hr = getIdOfName(name, id);
  return Failed(hr) ? hr : invoke(id, InvokeKind::Method, args, result);
}

HRESULT Dispatch::get(DispId id, Variant& result) { return invoke(id, InvokeKind::PropertyGet, {}, &result); }

HRESULT Dispatch::put(DispId id, const Variant& value) {
  return invoke(id, InvokeKind::PropertyPut, std::span<const Variant>(&value, 1), nullptr);
}

}  // namespace platform::automation
