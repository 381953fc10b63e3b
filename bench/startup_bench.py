#!/usr/bin/env python3
"""Start-up with a large profile database, side by side with the demo one.

    bench/startup_bench.py window [BUILD_DIR] [ROUNDS] [project]
    bench/startup_bench.py cli [BUILD_DIR] [ROUNDS]

Two kits are made in a temporary directory from BUILD_DIR/kit: "demo" with
the demo database and "big" with 20 vendors x 1,000 devices from
tools/gen-profiles.py (60 defines each, 500 definitions). Both have their own
bin/config.xml with autoUpdates off, so nothing goes to the network.

window: starts BUILD_DIR/kit/bin/varbuild on a private Xvfb display and
  takes the time until its window is mapped (xdotool search --onlyvisible),
  then waits until the process has used no CPU for 0.5 s (the database read
  and the tree are done), notes its peak memory (VmHWM) and ends it.
  With "project" the window opens a copy of the demo project (no criteria:
  every device of the database is listed once it arrives).
  Needs: apt-get install xvfb xdotool
cli: a no-op `varbuild-cli build --changed` of a 3-source library project
  (bench/make_project.sh), one copy per kit built once beforehand; wall time
  and peak memory (ru_maxrss) of each run.

The kits take turns within each round (after one warm-up round), so a change
in the machine's load falls on both; figures are medians over the rounds.
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def make_kit(build_kit, kit, vendors):
    """A kit of symlinks to build_kit with its own config.xml and, unless
    `vendors` is None, the profile database generated there."""
    os.makedirs(kit + "/bin")
    for entry in os.listdir(build_kit):
        if entry not in ("bin", "profiles"):
            os.symlink(os.path.join(build_kit, entry), os.path.join(kit, entry))
    for entry in os.listdir(build_kit + "/bin"):
        if entry != "config.xml":
            os.symlink(os.path.join(build_kit, "bin", entry), os.path.join(kit, "bin", entry))
    with open(kit + "/bin/config.xml", "w") as config:
        config.write('<Config version="1">\n\t<Property name="autoUpdates" value="false"/>\n</Config>\n')
    os.makedirs(kit + "/profiles")
    for entry in os.listdir(build_kit + "/profiles"):
        if entry != "vendors" or vendors is None:
            os.symlink(os.path.join(build_kit, "profiles", entry), os.path.join(kit, "profiles", entry))
    if vendors is not None:
        subprocess.run([sys.executable, SOURCE + "/tools/gen-profiles.py", kit + "/profiles/vendors",
                        "--vendors", "20", "--devices", str(vendors), "--seed", "1"], check=True)


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def peak_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def window_once(program, kit, env, arguments):
    """Seconds until mapped, seconds until settled, peak MiB."""
    env = dict(env, VARNELDIR=kit)
    start = time.perf_counter()
    log = tempfile.TemporaryFile()
    child = subprocess.Popen([program] + arguments, env=env, stdout=log, stderr=subprocess.STDOUT)
    mapped = None
    while time.perf_counter() - start < 60 and child.poll() is None:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(child.pid)],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if found.returncode == 0:
            mapped = time.perf_counter() - start
            break
        time.sleep(0.01)
    if mapped is None:
        child.kill()
        child.wait()
        log.seek(0)
        sys.exit("the window of %s was never mapped (status %s):\n%s"
                 % (kit, child.returncode, log.read().decode(errors="replace")[-2000:]))
    last, changed = cpu_ticks(child.pid), time.perf_counter()
    while time.perf_counter() - changed < 0.5 and time.perf_counter() - start < 120:
        time.sleep(0.05)
        ticks = cpu_ticks(child.pid)
        if ticks != last:
            last, changed = ticks, time.perf_counter()
    settled = changed - start
    peak = peak_kib(child.pid) / 1024.0
    child.send_signal(signal.SIGTERM)
    child.wait(timeout=30)
    return mapped, settled, peak


def start_xvfb():
    """A private Xvfb on a display number it picks itself (other users of the
    machine may run their own), and that display."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as answer:
        number = answer.readline().strip()
    if not number or server.poll() is not None:
        sys.exit("no Xvfb display could be started (apt-get install xvfb xdotool)")
    return server, ":" + number


def cli_once(program, kit, project):
    env = dict(os.environ, VARNELDIR=kit)
    start = time.perf_counter()
    log = tempfile.TemporaryFile()
    child = subprocess.Popen([program, "build", "--changed", project], env=env, stdout=log, stderr=subprocess.STDOUT)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    log.seek(0)
    output = log.read().decode(errors="replace")
    if status != 0 or "Build Changed: 0 compiled, 3 up to date; link up to date" not in output:
        sys.exit("build --changed did not find everything up to date on %s:\n%s" % (kit, output))
    return elapsed, usage.ru_maxrss / 1024.0


def report(names, rows, columns):
    for column, title in enumerate(columns):
        medians = [statistics.median(r[name][column] for r in rows) for name in names]
        print("%-28s %s" % (title, "   ".join("%s %.3f" % (n, m) for n, m in zip(names, medians))))
    first = [statistics.median(r[names[0]][0] for r in rows), statistics.median(r[names[1]][0] for r in rows)]
    print("ratio big / demo (first column): %.2f" % (first[1] / first[0]))


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ("window", "cli"):
        sys.exit(__doc__)
    what = sys.argv[1]
    build = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else SOURCE + "/build")
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    work = tempfile.mkdtemp(prefix="varbuild-startup-")
    try:
        kits = {"demo": work + "/demo", "big": work + "/big"}
        make_kit(build + "/kit", kits["demo"], None)
        make_kit(build + "/kit", kits["big"], 1000)
        with open("/proc/cpuinfo") as cpuinfo:
            model = next((l.split(":", 1)[1].strip() for l in cpuinfo if l.startswith("model name")), "?")
        print("machine: %d CPUs, %s; load average before: %s" % (os.cpu_count(), model,
                                                                  open("/proc/loadavg").read().split()[:3]))
        rows = []
        if what == "window":
            arguments = []
            if len(sys.argv) > 4 and sys.argv[4] == "project":
                shutil.copytree(build + "/kit/projects/demo", work + "/demo-project")
                arguments = [work + "/demo-project/demo.vnp"]
            server, display = start_xvfb()
            env = dict(os.environ, DISPLAY=display)
            env.pop("QT_QPA_PLATFORM", None)
            try:
                for round_ in range(rounds + 1):
                    order = ("demo", "big") if round_ % 2 == 0 else ("big", "demo")
                    row = {}
                    for name in order:
                        # Another user's clean-up may end every Xvfb on the machine.
                        if server.poll() is not None:
                            print("the X server went away; starting another", flush=True)
                            server, display = start_xvfb()
                            env["DISPLAY"] = display
                        row[name] = window_once(build + "/kit/bin/varbuild", kits[name], env, arguments)
                    if round_ > 0:
                        rows.append(row)
                    print("round %d: %s" % (round_, "  ".join("%s %.3f s mapped, %.2f s settled, %.0f MiB"
                                                              % ((n,) + row[n]) for n in order)), flush=True)
            finally:
                server.terminate()
                server.wait()
            report(["demo", "big"], rows, ["window mapped (s)", "settled (s)", "peak memory (MiB)"])
        else:
            projects = {}
            for name, kit in kits.items():
                projects[name] = work + "/project-" + name + "/pbench.vnp"
                subprocess.run([SOURCE + "/bench/make_project.sh", os.path.dirname(projects[name]), "3"],
                               check=True)
                subprocess.run([build + "/kit/bin/varbuild-cli", "build", "--changed", projects[name]],
                               env=dict(os.environ, VARNELDIR=kit), check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for round_ in range(rounds + 1):
                order = ("demo", "big") if round_ % 2 == 0 else ("big", "demo")
                row = {n: cli_once(build + "/kit/bin/varbuild-cli", kits[n], projects[n]) for n in order}
                if round_ > 0:
                    rows.append(row)
            report(["demo", "big"], rows, ["build --changed (s)", "peak memory (MiB)"])
        print("load average after: %s" % open("/proc/loadavg").read().split()[:3])
    finally:
        if not os.environ.get("KEEP_WORK"):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
