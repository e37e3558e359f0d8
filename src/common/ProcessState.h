#pragma once
// Process-wide state of the program's libraries: singletons, caches, the platform seams.
// Each owner registers, during static initialisation, how to put its state back to the
// value the process started with. The program never calls ResetProcessState(): only the
// test programs do, between tests, so that every test starts as a fresh process would.

namespace tw {

// The library an owner belongs to (the order of src/, bottom up). Upper layers are reset
// first, so an object torn down still finds the layers below it as they were.
enum class ProcessLayer { Common, SysInfo, Logging, Config, DataStore, Protected, OffCycle, Ui, App, Host };

using ProcessStateReset = void (*)();

// Returns true, so an owner can keep the registration in a namespace-scope flag.
bool RegisterProcessStateReset(ProcessLayer layer, ProcessStateReset reset);

void ResetProcessState();

}  // namespace tw
