// VANTREL_BOARD, VANTREL_SIM_SCENARIO, VANTREL_SIM_SPEED and VANTREL_USB_ID applied at start.
#include "platform/usb/usb_config.h"

#include <cmath>
#include <cstdlib>

#include "platform/sys/clock.h"
#include "platform/usb/chamber_model.h"
#include "platform/usb/libusb_backend.h"
#include "platform/usb/sim_board.h"

namespace vusb {

vsys::Result read_board_environment(BoardEnvironment& out)
{
    BoardEnvironment e;
    if (const char* v = std::getenv("VANTREL_BOARD"); v != nullptr && *v != '\0') e.board = v;
    if (e.board != "sim" && e.board != "libusb")
        return vsys::Result::failure("VANTREL_BOARD must be sim or libusb, not \"" + e.board + "\"");
    if (const char* v = std::getenv("VANTREL_SIM_SCENARIO"); v != nullptr) e.scenario = v;
    if (const char* v = std::getenv("VANTREL_SIM_SPEED"); v != nullptr && *v != '\0') {
        char* end = nullptr;
        e.speed = std::strtod(v, &end);
        if (end == nullptr || *end != '\0' || !std::isfinite(e.speed) || e.speed <= 0.0 || e.speed > 10000.0)
            return vsys::Result::failure(std::string("VANTREL_SIM_SPEED must be a factor above 0 (at most 10000), not \"") +
                                         v + "\"");
    }
    if (const char* v = std::getenv("VANTREL_USB_ID"); v != nullptr && *v != '\0') {
        if (!parse_usb_id(v)) return vsys::Result::failure(std::string("VANTREL_USB_ID must be vvvv:pppp in hex, not \"") + v + "\"");
        e.usb_id = v;
    }
    out = e;
    return vsys::Result::success();
}

vsys::Result apply_board_environment(const BoardEnvironment& e)
{
    if (e.board == "libusb") {
        LibusbConfig config;
        if (!e.usb_id.empty()) config.ids.insert(config.ids.begin(), *parse_usb_id(e.usb_id));
        set_backend(make_libusb_backend(config));
        return vsys::Result::success();
    }
    std::string path = e.scenario.empty() ? vsys::path_join(vsys::project_dir(), "default.scenario") : e.scenario;
    Scenario scenario;
    vsys::Result loaded = load_scenario(path, scenario);
    if (!loaded) return loaded;
    // The speed-up scales the whole program clock, board pacing included.
    if (!vsys::clock_is_simulated()) vsys::set_clock_speed(e.speed);
    SimBoardConfig config;
    config.fifo_capacity = fifo_capacity_for_speed(vsys::clock_is_simulated() ? 1.0 : e.speed);
    config.signals = ChamberModel::from_first_scan(std::move(scenario));
    set_backend(std::make_shared<SimBoard>(config));
    return vsys::Result::success();
}

vsys::Result configure_board_from_environment()
{
    BoardEnvironment e;
    vsys::Result r = read_board_environment(e);
    if (!r) return r;
    return apply_board_environment(e);
}

}  // namespace vusb
