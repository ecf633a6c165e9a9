#include "tests/support/private_session_bus.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace {

constexpr int kAddressFd = 9;  // where dbus-daemon writes its address once it accepts clients

// A session bus where every client may own any name and talk to anyone, and no <servicedir>:
// a name nobody owns stays unowned.
std::string Configuration(const std::filesystem::path& directory)
{
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=)" +
           directory.string() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

}  // namespace

PrivateSessionBus::PrivateSessionBus() : directory_("quarnex-bus")
{
    const std::filesystem::path configuration = directory_.Path() / "session.conf";
    std::ofstream(configuration) << Configuration(directory_.Path());
    daemon_.emplace(std::vector<std::string>{"dbus-daemon", "--nofork",
                                             "--config-file=" + configuration.string(),
                                             "--print-address=" + std::to_string(kAddressFd)},
                    ChildSetup{.lineFds = {kAddressFd}});
    // A guard against a bus that never comes up, not a pace.
    const std::string address = daemon_->ReadLine("", std::chrono::seconds(30)).value_or("");
    if (address.empty()) throw std::runtime_error("dbus-daemon gave no address");
    address_.emplace("DBUS_SESSION_BUS_ADDRESS", address.c_str());
}

PrivateSessionBus::~PrivateSessionBus()
{
    address_.reset();
}
