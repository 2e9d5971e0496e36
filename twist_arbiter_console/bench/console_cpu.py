#!/usr/bin/python3
# Copyright 2026 The twist_arbiter authors.
"""What twist_arbiter_console costs: CPU share, and frames a browser receives per second.

Starts twist_arbiter_main, the console and a headless chromium showing the page, then measures
the console's CPU time (utime + stime from /proc) over a window in two situations:
  idle   the controller in mode none, nothing published;
  1 kHz  mode teleops, twist_arbiter_ctl sending at 1000 Hz on its input, so the controller's
         output runs at that rate too (its measured rate is printed).
For each, the frames the page received per second over the same window. Run it from a sourced
workspace; ROS_LOCALHOST_ONLY=1 and a ROS_DOMAIN_ID of its own are advised:

  bench/console_cpu.py --prefix install [--seconds 20]
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'test'))
from console_browser_tools import Process, start_browser, wait_for  # noqa: E402

TICKS = os.sysconf('SC_CLK_TCK')


def cpu_seconds(pid):
    with open(f'/proc/{pid}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure(console, tools, seconds):
    cpu0, frames0, t0 = cpu_seconds(console.proc.pid), tools.evaluate('consoleView.frames'), \
        time.monotonic()
    time.sleep(seconds)
    cpu1, frames1, t1 = cpu_seconds(console.proc.pid), tools.evaluate('consoleView.frames'), \
        time.monotonic()
    return 100.0 * (cpu1 - cpu0) / (t1 - t0), (frames1 - frames0) / (t1 - t0)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--prefix', required=True, help='the colcon install directory')
    parser.add_argument('--seconds', type=float, default=20.0)
    parser.add_argument('--chromium', default='/usr/bin/chromium')
    args = parser.parse_args()
    lib = os.path.join(args.prefix, 'twist_arbiter', 'lib', 'twist_arbiter')
    ctl = os.path.join(lib, 'twist_arbiter_ctl')
    config = os.path.join(args.prefix, 'twist_arbiter', 'share', 'twist_arbiter', 'config',
                          'twist_arbiter.yaml')
    console_program = os.path.join(args.prefix, 'twist_arbiter_console', 'lib',
                                   'twist_arbiter_console', 'twist_arbiter_console')
    with tempfile.TemporaryDirectory(prefix='console_cpu_') as scratch:
        controller = Process([os.path.join(lib, 'twist_arbiter_main'), '--ros-args',
                              '--params-file', config], scratch, 'controller')
        console = Process([console_program, '--port', '0'], scratch, 'console')
        browser = sender = None
        try:
            url = wait_for('the console URL', lambda: re.search(
                r'http://127\.0\.0\.1:\d+/\?token=[0-9a-f]+', console.output())).group(0)
            browser, tools = start_browser(args.chromium, scratch)
            tools.call('Page.navigate', url=url)
            wait_for('the page', lambda: tools.evaluate(
                'window.consoleView && consoleView.state && consoleView.state.mode '
                '&& consoleView.state.mode.name') == 'none')
            time.sleep(3)  # start-up and discovery settle
            idle_cpu, idle_fps = measure(console, tools, args.seconds)

            subprocess.run([ctl, 'set', 'teleops'], check=True, capture_output=True)
            sender = Process([ctl, 'send', 'teleops', '--linear', '0.2', '--rate', '1000'],
                             scratch, 'sender')
            time.sleep(3)
            status = subprocess.run([ctl, 'status'], capture_output=True, text=True).stdout
            load_cpu, load_fps = measure(console, tools, args.seconds)
            rate = re.search(r'^commands:\s+(.*)$', status, re.M)
            print(f'idle, one browser:     console CPU {idle_cpu:5.2f} %, '
                  f'{idle_fps:4.1f} frames/s to the browser')
            print(f'output at 1 kHz:       console CPU {load_cpu:5.2f} %, '
                  f'{load_fps:4.1f} frames/s to the browser '
                  f'(controller output: {rate.group(1) if rate else "?"})')
        finally:
            for process in (sender, browser, console, controller):
                if process:
                    process.stop()


if __name__ == '__main__':
    main()
