// A FaultFileSystem installed as the process's file system for the life of
// the object, so that the code under test meets its faults.
#pragma once

#include "platform/fault_file.h"

class InstalledFaults : public FaultFileSystem {
 public:
  InstalledFaults() { setFileSystem(this); }
  ~InstalledFaults() override { setFileSystem(nullptr); }
  InstalledFaults(const InstalledFaults&) = delete;
  InstalledFaults& operator=(const InstalledFaults&) = delete;
};
