#pragma once
// Legacy commands that count or close Excel and test or close the product's programs.
#include <cstdint>
#include <string>

#include "setup/argv_handler.h"

namespace orvex {

// xlQuit: one WM_CLOSE to every Excel main window, no waiting; 1, or -1 when the
// windows could not be listed.
class QuitExcelHandler final : public RtdSetupArgvHandlerBase {
 public:
  QuitExcelHandler();

 protected:
  int Run(const std::string& argument) override;
};

// xlTest: the number of Excel main windows, -1 when they could not be listed.
class CountExcelHandler final : public RtdSetupArgvHandlerBase {
 public:
  CountExcelHandler();

 protected:
  int Run(const std::string& argument) override;
};

// "<prefix>Test": 1 when a process of the module runs, else 0.
class TestProgramHandler : public RtdSetupArgvHandlerBase {
 public:
  TestProgramHandler(std::string name, std::string description, std::string module);

 protected:
  int Run(const std::string& argument) override;

 private:
  std::string module_;
};

// "<prefix>Quit": asks the program to close and waits; 1 when it is not running at the
// end (also when it never was), else 0.
class QuitProgramHandler : public RtdSetupArgvHandlerBase {
 public:
  using CloseAndWait = bool (*)();
  QuitProgramHandler(std::string name, std::string description, CloseAndWait close);

 protected:
  int Run(const std::string& argument) override;

 private:
  CloseAndWait close_;
};

class TestDravikHandler final : public TestProgramHandler {
 public:
  TestDravikHandler();
};
class QuitDravikHandler final : public QuitProgramHandler {
 public:
  QuitDravikHandler();
};
class TestCorvaneHandler final : public TestProgramHandler {
 public:
  TestCorvaneHandler();
};
class QuitCorvaneHandler final : public QuitProgramHandler {
 public:
  QuitCorvaneHandler();
};
class TestTavBusWAppHandler final : public TestProgramHandler {
 public:
  TestTavBusWAppHandler();
};
class QuitTavBusWAppHandler final : public QuitProgramHandler {
 public:
  QuitTavBusWAppHandler();
};
class TestTavPHandler final : public TestProgramHandler {
 public:
  TestTavPHandler();
};
class QuitTavPHandler final : public QuitProgramHandler {
 public:
  QuitTavPHandler();
};

}  // namespace orvex
