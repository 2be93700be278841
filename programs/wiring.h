// Wiring of both programs: each subsystem's callbacks and hooks, and the seams between subsystems.
#pragma once

// Registers every subsystem's callbacks with the user interface and connects
// the subsystems' hooks to each other. Called once by main(); tests call it to
// run the program's real wiring.
void wire_subsystems();
