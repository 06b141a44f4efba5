// What the graph and the grid ask of the window that shows them: the result labels, the
// status text and the log.
#pragma once

#include <string>

#include "common/device_check.h"

class Display_Host {
 public:
  virtual ~Display_Host() = default;
  // Writes a result label's text (a label the window does not have is left alone).
  virtual void Set_Label_Text(const std::string& label, const std::string& text) = 0;
  // Marks a result label by what answered its test; an empty check takes the mark away.
  virtual void Show_Device_Check(const std::string& label, const Device_Check& check) = 0;
  virtual void Set_Status_Text(const std::string& text) = 0;
  virtual void Local_Writelog(const std::string& text) = 0;
};
