# Copyright 2026 The twist_arbiter authors.
"""Programs under test and a headless chromium driven over the DevTools protocol.

Shared by the console's browser test and its CPU measurement.
"""

import json
import os
import signal
import subprocess
import time
import urllib.request

import websocket

DEADLINE_S = 20.0  # generous: two noisy cores


def wait_for(what, check, timeout=DEADLINE_S, period=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(period)


class Process:
    """A program with its output in a file (a full pipe never blocks it)."""

    def __init__(self, argv, scratch, name):
        self.log_path = os.path.join(scratch, name + '.log')
        self.log = open(self.log_path, 'wb')
        self.proc = subprocess.Popen(argv, stdout=self.log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL)

    def output(self):
        with open(self.log_path, 'rb') as f:
            return f.read().decode(errors='replace')

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        return self.proc.returncode


class DevTools:
    """Just enough of the DevTools protocol: commands by id, events ignored."""

    def __init__(self, ws_url):
        self.ws = websocket.create_connection(ws_url, timeout=DEADLINE_S, suppress_origin=True)
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({'id': self.next_id, 'method': method, 'params': params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get('id') == self.next_id:
                if 'error' in message:
                    raise RuntimeError(f'{method}: {message["error"]}')
                return message.get('result', {})

    def evaluate(self, expression):
        result = self.call('Runtime.evaluate', expression=expression, returnByValue=True)
        if 'exceptionDetails' in result:
            raise RuntimeError(f'{expression}: {result["exceptionDetails"]}')
        return result['result'].get('value')

    def mouse(self, kind, x, y, buttons):
        self.call('Input.dispatchMouseEvent', type=kind, x=x, y=y, button='left',
                  buttons=buttons, clickCount=1, pointerType='mouse')

    def click(self, selector):
        box = self.center(selector)
        self.mouse('mousePressed', box[0], box[1], 1)
        self.mouse('mouseReleased', box[0], box[1], 0)

    def center(self, selector):
        rect = self.evaluate(
            f'(() => {{ const r = document.querySelector({json.dumps(selector)})'
            '.getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()')
        return rect


def start_browser(chromium, scratch):
    profile = os.path.join(scratch, 'profile')
    argv = [
        chromium, '--headless=new', '--remote-debugging-port=0',
        '--remote-debugging-address=127.0.0.1', f'--user-data-dir={profile}',
        '--window-size=1280,960', '--hide-scrollbars', '--no-first-run',
        '--no-default-browser-check', '--disable-gpu',
        # Loopback only: no updates, no metrics, no name resolution beyond this machine.
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--disable-extensions', '--disable-default-apps', '--disable-domain-reliability',
        '--metrics-recording-only', '--no-pings',
        '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1',
        'about:blank']
    if os.geteuid() == 0:
        argv.insert(1, '--no-sandbox')  # chromium refuses its sandbox as root (CI containers)
    browser = Process(argv, scratch, 'chromium')
    port_file = os.path.join(profile, 'DevToolsActivePort')
    wait_for('the DevTools port', lambda: os.path.exists(port_file)
             and open(port_file).read().strip())
    port = int(open(port_file).read().split()[0])
    with urllib.request.urlopen(f'http://127.0.0.1:{port}/json/list', timeout=10) as answer:
        targets = json.load(answer)
    page = next(t for t in targets if t['type'] == 'page')
    return browser, DevTools(page['webSocketDebuggerUrl'])
