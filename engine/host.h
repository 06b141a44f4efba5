// What the benchmark engine asks of the window that runs it. The main window implements
// it; the headless runner and the tests have their own.
#pragma once

#include <cstdint>
#include <string>

#include "common/device_check.h"

// Where a run stands: no run; a run going on; a run asked to stop, finishing its clean-ups.
enum class Run_State { Idle, Running, Stopping };

class Engine_Host {
 public:
  virtual ~Engine_Host() = default;

  // Handles the pending window messages once (this is how a press of Stop arrives).
  virtual void Process_Messages() = 0;
  // Shows the loading panel with one line of text, or hides it; then pumps once.
  virtual void Display_Loading_Panel(bool show, const std::string& text) = 0;
  // Draws the bar of a result that the engine has just stored in the plan.
  virtual void DrawGraph(int column, double value) = 0;
  // Draws the graph anew from the plan (after a reset).
  virtual void Redraw_Graph() = 0;
  virtual void Set_Label_Text(const std::string& label, const std::string& text) = 0;
  virtual void Set_Status_Text(const std::string& text) = 0;
  // How far the run has come: done of total tests finished, about seconds_left to go. Shown
  // from the start of a run until it is idle again.
  virtual void Show_Progress(int done, int total, std::int64_t seconds_left) = 0;
  // Marks a result's label by what answered the test: the device, a cache, or nobody could
  // tell; an empty check takes the mark away. A host without labels has nothing to mark.
  virtual void Show_Device_Check(const std::string& /*label*/, const Device_Check& /*check*/) {}
  // Shows an error to the user and waits until it is acknowledged.
  virtual void Show_Error(const std::string& text) = 0;
  virtual void Local_Writelog(const std::string& text) = 0;

  // The run has entered state; the window shows it on its Start button.
  virtual void Show_Run_State(Run_State state) = 0;
  virtual void Enable_Start_Button(bool enabled) = 0;
  // Enables the drive list, the test-time box and the results grid (status) and the Start
  // button (sbutton).
  virtual void Enable_All_Buttons(bool status, bool sbutton) = 0;

  // A finished run that was not stopped is reported and added to the grid.
  virtual void Send_Result_To_Database() = 0;
  virtual void Send_Result_to_Grid() = 0;
};
