// Wiring of both programs: each subsystem's callbacks and every seam between the subsystems, in one place.
#pragma once

#include <set>
#include <string>

// Registers every subsystem's callbacks with the user interface and gives each
// subsystem its seams. Called once by main(); tests call it to run the
// program's real wiring.
void wire_subsystems();

// The seams whose far side is not built yet; every other seam is filled in both
// editions (the wiring test checks both lists).
const std::set<std::string>& unbuilt_seams();
