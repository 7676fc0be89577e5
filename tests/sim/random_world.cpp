// Worlds drawn at random: what machines a farm has and how they reach the
// share, which runs start when, what the log holds, what dead runs left,
// and which faults strike at which steps.
#include "log/holder_name.hpp"
#include "log/lock_record.hpp"
#include "log/row_format.hpp"
#include "log/row_journal.hpp"
#include "platform/concat.hpp"
#include "sim/world.hpp"

#include <array>

namespace wutally::sim {

namespace {

using std::chrono::hours;
using std::chrono::minutes;

class Draw {
  public:
    explicit Draw(std::mt19937_64& random) : random_(random) {}
    std::size_t below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }
    bool chance(double probability) {
        return std::uniform_real_distribution<double>(0, 1)(random_) < probability;
    }
    Nanos between(Nanos low, Nanos high) {
        return Nanos{
            std::uniform_int_distribution<std::int64_t>(low.count(), high.count())(random_)};
    }

  private:
    std::mt19937_64& random_;
};

// A row of another work unit, as an earlier run wrote it.
std::string earlier_row(int number) {
    std::string row = "\"2026.01.01 00:00:00\"";
    for (int column = 1; column < 57; ++column) {
        row += column == 20 ? ",\"unit.earlier" + std::to_string(number) + "\"" : ",1";
    }
    return row;
}

// A log as runs and spreadsheets leave them.
void put_log(World& world, Draw& draw) {
    switch (draw.below(6)) {
    case 0:
    case 1:
        return; // none yet
    case 2:
        world.share().put_file(World::log_path(), "");
        return;
    default:
        break;
    }
    std::string log = log::header_row();
    const std::size_t rows = draw.below(4);
    for (std::size_t row = 0; row < rows; ++row) {
        log += "\r\n" + earlier_row(static_cast<int>(row));
    }
    if (draw.chance(0.2)) {
        log += "\r\n"; // saved by a spreadsheet
    }
    world.share().put_file(World::log_path(), log);
}

// A lease whose holder died, perhaps half-way through its row.
void put_dead_lease(World& world, Draw& draw, const Machine& machine) {
    platform::ProcessIdentity dead{machine.setup.host, machine.setup.machine_id, machine.boot, 4242,
                                   17};
    if (draw.chance(0.5)) {
        dead.boot = "an earlier boot";
    }
    log::Holder holder = log::holder_of(dead, "tkdead");
    const std::string lease = World::log_path() + ".lock";
    auto& share = world.share();
    share.put_directory(lease);
    share.put_file(lease + "/" + log::holder_name(holder), "");
    if (draw.chance(0.5)) {
        const std::string log = share.file_bytes(World::log_path()).value_or("");
        const std::string row = (log.empty() ? log::header_row() : "") + "\r\n" + earlier_row(99);
        const log::PendingRow pending{log.size(), row};
        share.put_file(lease + "/" + log::journal_name("tkdead"),
                       log::format_lock_record(dead, "tkdead") + log::format_pending_row(pending));
        if (share.exists(World::log_path())) {
            share.rewrite_file(World::log_path(), log + row.substr(0, draw.below(row.size())));
        }
    }
    share.age(lease, std::chrono::duration_cast<seconds>(draw.between(seconds{0}, hours{2})));
}

MachineSetup draw_machine(Draw& draw, std::size_t number) {
    constexpr std::array reaches{Reach::server_disk,    Reach::nfs,
                                 Reach::nfs_local_lock, Reach::smb,
                                 Reach::windows_smb,    Reach::windows_server_disk};
    constexpr std::array<Nanos, 5> offsets{Nanos{0}, -hours{3}, hours{2}, -hours{24 * 7},
                                           minutes{7}};
    MachineSetup setup;
    setup.host = concat("m", std::to_string(number));
    setup.machine_id = "id-" + setup.host;
    setup.reach = reaches.at(draw.below(reaches.size()));
    setup.wall_offset = offsets.at(draw.below(offsets.size()));
    setup.uptime = draw.between(minutes{2}, hours{24 * 30});
    return setup;
}

// A fault for the run that reaches the step.
Action draw_fault(Draw& draw) {
    const std::size_t kind = draw.below(100);
    const Nanos stall = draw.chance(0.5)   ? draw.between(milliseconds{100}, seconds{5})
                        : draw.chance(0.5) ? draw.between(seconds{10}, seconds{50})
                                           : draw.between(seconds{61}, seconds{200});
    const Nanos back_after = draw.between(seconds{30}, seconds{300});
    const Nanos step = draw.chance(0.5) ? hours{1} : -hours{1};
    const std::size_t kept = draw.below(400);
    return [=](World& world) {
        Run* run = world.current();
        if (run == nullptr) {
            return;
        }
        if (kind < 20) {
            world.kill(*run);
        } else if (kind < 33) {
            world.terminate(*run);
        } else if (kind < 45) {
            Machine& machine = *run->machine;
            world.power_off(machine);
            world.after_time(world.now() + back_after,
                             [&machine](World& w) { w.power_on(machine); });
        } else if (kind < 65) {
            world.stall(*run, stall);
        } else if (kind < 70) {
            world.stall_share(stall);
        } else if (kind < 75) {
            world.step_server_clock(step);
        } else if (kind < 92) {
            world.fail_call(*run);
        } else {
            world.tear_write(*run, kept);
        }
    };
}

} // namespace

std::unique_ptr<World> random_world(std::uint64_t seed) {
    auto world = std::make_unique<World>(seed);
    Draw draw(world->random());
    std::vector<Machine*> machines;
    const std::size_t count = 2 + draw.below(3);
    for (std::size_t number = 1; number <= count; ++number) {
        MachineSetup setup = draw_machine(draw, number);
        if (number == 2 && draw.chance(0.2)) {
            // Made from the first one's disk image.
            setup.host = machines.front()->setup.host;
            setup.machine_id = machines.front()->setup.machine_id;
        } else if (number == 2 && draw.chance(0.1)) {
            setup.host = machines.front()->setup.host; // a namesake with no id
            setup.machine_id.clear();
            machines.front()->setup.machine_id.clear();
        }
        machines.push_back(&world->add_machine(setup));
    }
    put_log(*world, draw);
    if (draw.chance(0.15)) {
        put_dead_lease(*world, draw, *machines.at(draw.below(machines.size())));
    }
    std::vector<std::string> units;
    for (Machine* machine : machines) {
        const std::size_t runs = 1 + draw.below(3);
        for (std::size_t run = 0; run < runs; ++run) {
            std::string unit = "unit." + std::to_string(units.size());
            if (!units.empty() && draw.chance(0.15)) {
                unit = units.at(draw.below(units.size())); // one work unit, two runs
            }
            units.push_back(unit);
            const Nanos start = draw.chance(0.8) ? draw.between(Nanos{0}, seconds{2})
                                                 : draw.between(seconds{20}, seconds{200});
            world->add_run(*machine, unit, start);
        }
    }
    const std::size_t faults = draw.chance(0.2) ? 0 : 1 + draw.below(3);
    for (std::size_t fault = 0; fault < faults; ++fault) {
        world->at_step(1 + draw.below(150), draw_fault(draw));
    }
    return world;
}

} // namespace wutally::sim
