// komvas-sim: the simulated FA-M3 Ethernet interface module as a console program.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

#include "tools/command_line.h"
#include "tools/plcsim/cli.h"

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int)
{
    stopRequested = true;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args = command_line::Arguments(argc, argv);
    plcsim::Options options;
    const int exitCode =
        plcsim::readCommandLine(args, KOMVAS_VERSION, options, std::cout, std::cerr);
    if (exitCode != command_line::Run)
        return exitCode;

    plcsim::Simulator sim(options.form);
    for (const plcsim::Assignment& a : options.assignments)
        sim.apply(a);
    for (const plcsim::Demo& d : options.demos)
        sim.addDemo(d);
    for (const plcsim::Fault& f : options.faults)
        sim.addFault(f);
    if (options.seed)
        sim.setSeed(*options.seed);
    if (options.trace)
        sim.setTrace(&std::cout);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::uint16_t port = 0;
    try {
        port = sim.start(options.address, options.port);
    } catch (const std::exception& e) {
        std::cerr << "komvas-sim: " << e.what() << "\n";
        return 1;
    }
    std::cout << "komvas-sim: serving " << plcsim::formName(options.form) << " form on "
              << options.address << ":" << port << " (CTRL+C stops)" << std::endl;
    while (!stopRequested.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.stop();
    std::cout << "komvas-sim: stopped" << std::endl;
    return 0;
}
