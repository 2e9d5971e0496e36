#!/usr/bin/python3
# Copyright 2026 The twist_arbiter authors.
"""The console page in a real browser.

Debian's chromium, headless, driven over the DevTools protocol (python3-websocket), against
twist_arbiter_console and twist_arbiter_main in processes of their own. The controller's side is
checked over DDS with twist_arbiter_ctl. Saves a screenshot of the page.
"""

import argparse
import base64
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_browser_tools import Process, start_browser, wait_for  # noqa: E402


def ctl_mode(args):
    """The current mode as twist_arbiter_ctl reads it over DDS."""
    run = subprocess.run([args.ctl, 'status', '--timeout', '10'], capture_output=True, text=True,
                         timeout=60)
    match = re.search(r'^mode:\s+(\S+)', run.stdout, re.M)
    return match.group(1) if match else None


def run(args, scratch):
    controller = Process([args.controller, '--ros-args', '--params-file', args.config],
                         scratch, 'controller')
    console = Process([args.console, '--port', '0', '--web-root', args.web_root,
                       '--drive-mode', 'teleops', '--max-linear', '0.5', '--max-angular', '1.0'],
                      scratch, 'console')
    browser = None
    try:
        url = wait_for('the console URL', lambda: re.search(
            r'http://127\.0\.0\.1:\d+/\?token=[0-9a-f]+', console.output()))
        url = url.group(0)
        base = url.split('?')[0]
        assert wait_for('the controller over DDS', lambda: ctl_mode(args)) == 'none'

        browser, tools = start_browser(args.chromium, scratch)
        tools.call('Page.enable')
        tools.call('Runtime.enable')
        tools.call('Emulation.setDeviceMetricsOverride', width=1280, height=1080,
                   deviceScaleFactor=1, mobile=False)

        # Without the token: 401, and nothing switches.
        tools.call('Page.navigate', url=base)
        body = wait_for('the refusal', lambda: tools.evaluate(
            'document.readyState === "complete" && document.body && document.body.innerText'))
        assert 'token' in body, body
        assert tools.evaluate('window.consoleView === undefined')
        assert ctl_mode(args) == 'none'

        # 1. With the token the page shows mode none.
        tools.call('Page.navigate', url=url)
        wait_for('mode none on the page', lambda: tools.evaluate(
            'document.getElementById("mode-name") && '
            'document.getElementById("mode-name").textContent') == 'none')
        assert tools.evaluate('location.search') == '', 'the token stays in the address bar'
        assert tools.evaluate('document.cookie') == '', 'the cookie must be HttpOnly'
        wait_for('the connection shown', lambda: tools.evaluate(
            'document.getElementById("connection").textContent') == 'controller reachable')

        # 2. The teleops button switches the controller.
        wait_for('the teleops button', lambda: tools.evaluate(
            '!!document.getElementById("to-teleops") && '
            '!document.getElementById("to-teleops").disabled'))
        tools.click('#to-teleops')
        wait_for('teleops over DDS', lambda: ctl_mode(args) == 'teleops', period=0.5)
        wait_for('teleops on the page', lambda: tools.evaluate(
            'document.getElementById("mode-name").textContent') == 'teleops')
        wait_for('the answer', lambda: 'done' in tools.evaluate(
            'document.getElementById("answer").textContent'))

        # 3. Holding the pad forward: commands reach the output and the plot.
        watch = Process([args.ctl, 'watch', '--timeout', '10'], scratch, 'watch')
        wait_for('the watcher', lambda: 'watching' in watch.output())
        x, y = tools.center('#pad')
        tools.mouse('mousePressed', x, y - 70, 1)
        pressed_at = time.monotonic()
        try:
            wait_for('driving in the plot', lambda: tools.evaluate(
                'consoleChart.data.datasets[0].data.some((p) => p.y > 0.1)'))
            while time.monotonic() - pressed_at < 1.5:  # keep holding, moving a little
                tools.mouse('mouseMoved', x + 10, y - 70, 1)
                time.sleep(0.1)
        finally:
            # 4. Letting go: the watchdog's zero follows and is marked.
            tools.mouse('mouseReleased', x + 10, y - 70, 0)
        released = tools.evaluate('Date.now() / 1000 + consoleView.offset')
        wait_for('the watchdog mark', lambda: tools.evaluate(
            f'consoleView.marks.some((m) => m.kind === "watchdog" && m.t > {released})'))
        lines = [line for line in watch.output().splitlines() if 'twist linear' in line]
        watch.stop()
        assert any(re.search(r'twist linear 0\.[1-5]', line) for line in lines), lines
        # After the last command: the console's own zero at the release, then the watchdog's.
        moving = [i for i, line in enumerate(lines) if not re.search(r'linear 0\.000 .* 0\.000$',
                                                                   line)]
        assert moving and len(lines) - moving[-1] - 1 >= 2, lines
        assert controller.output().count('exceeds time threshold') >= 2, controller.output()
        samples = tools.evaluate('consoleChart.data.datasets[0].data.map((p) => p.y)')
        assert max(samples) <= 0.5 + 1e-9, 'the pad clamps to --max-linear'
        assert tools.evaluate(
            'consoleView.marks.some((m) => m.kind === "mode" && m.label === "teleops")')

        # 5. The screenshot, once the page has drawn the latest frame.
        time.sleep(1.0)
        shot = tools.call('Page.captureScreenshot', format='png', captureBeyondViewport=False)
        os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
        with open(args.screenshot, 'wb') as f:
            f.write(base64.b64decode(shot['data']))
        print(f'screenshot: {args.screenshot}')
        tools.ws.close()
    except BaseException:
        print('--- console output ---\n' + console.output(), file=sys.stderr)
        print('--- controller output ---\n' + controller.output(), file=sys.stderr)
        raise
    finally:
        if browser:
            browser.stop()
        console_status = console.stop()
        controller.stop()
    assert console_status == 0, f'console exited with {console_status}'


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for name in ('console', 'controller', 'config', 'web-root', 'chromium', 'screenshot'):
        parser.add_argument('--' + name, required=True)
    args = parser.parse_args()
    args.ctl = os.path.join(os.path.dirname(args.controller), 'twist_arbiter_ctl')
    with tempfile.TemporaryDirectory(prefix='console_browser_') as scratch:
        run(args, scratch)
    print('browser test passed')


if __name__ == '__main__':
    main()
