// What every program of Corvane does before it touches a workbook: the window, corvane-merge,
// the screenshots and the tests' mains all start here, so that none is left without a part of
// the engine the object model only reaches through an interface.
#pragma once

namespace corvane {

// Installs the .xlsx writer as the way workbooks are saved (Application::SetSaver).
void StartEngine();

}  // namespace corvane
