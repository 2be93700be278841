// Choosing the board backend and the clock from the environment at program start.
#pragma once

#include <string>

#include "platform/sys/files.h"

namespace vusb {

// What the environment asks for.
struct BoardEnvironment {
    std::string board = "sim";  // VANTREL_BOARD: sim or libusb
    std::string scenario;       // VANTREL_SIM_SCENARIO: empty = default.scenario in the program directory
    double speed = 1.0;         // VANTREL_SIM_SPEED: clock speed-up factor
    std::string usb_id;         // VANTREL_USB_ID: vvvv:pppp of the real board (libusb)
};

// Reads and checks the variables; a message saying what is wrong otherwise.
vsys::Result read_board_environment(BoardEnvironment& out);
// Installs the backend (the simulated board fed by the scenario's chamber, or
// libusb) and sets the clock speed. Called once by main before anything else.
vsys::Result apply_board_environment(const BoardEnvironment& environment);
vsys::Result configure_board_from_environment();

}  // namespace vusb
