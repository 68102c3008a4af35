#pragma once
// The COM and oleacc functions behind the screen readers' object, loaded at a reader's
// first question rather than imported: an imported DLL loads at every start, and ole32,
// oleaut32 and oleacc would cost each start of the panel their memory and time
// (platform/windows/system_library.h) for readers that are mostly not there.

#include <windows.h>
// oleacc.h needs windows.h before it.
#include <oleacc.h>

#include "platform/windows/system_library.h"

namespace tovanik::win32 {

struct AccessibleCalls {
  decltype(LresultFromObject)* lresultFromObject;
  decltype(AccessibleObjectFromWindow)* objectFromWindow;
  decltype(CoInitializeEx)* startCom;
  decltype(CoUninitialize)* endCom;
  decltype(CoDisconnectObject)* disconnect;
  decltype(SysAllocString)* allocString;
};

// Loaded once; nullptr when one of them cannot be had (the window then answers readers as
// a window without an object of its own).
inline const AccessibleCalls* accessibleCalls() {
  using windows::systemFunction;
  static const AccessibleCalls calls{
      systemFunction<decltype(LresultFromObject)>(L"oleacc.dll", "LresultFromObject"),
      systemFunction<decltype(AccessibleObjectFromWindow)>(L"oleacc.dll",
                                                           "AccessibleObjectFromWindow"),
      systemFunction<decltype(CoInitializeEx)>(L"ole32.dll", "CoInitializeEx"),
      systemFunction<decltype(CoUninitialize)>(L"ole32.dll", "CoUninitialize"),
      systemFunction<decltype(CoDisconnectObject)>(L"ole32.dll", "CoDisconnectObject"),
      systemFunction<decltype(SysAllocString)>(L"oleaut32.dll", "SysAllocString")};
  const bool complete = calls.lresultFromObject && calls.objectFromWindow && calls.startCom &&
                        calls.endCom && calls.disconnect && calls.allocString;
  return complete ? &calls : nullptr;
}

}  // namespace tovanik::win32
