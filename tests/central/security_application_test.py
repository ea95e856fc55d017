#!/usr/bin/python3
"""Kelvo Central and the card in a reader, as a person sees it: the program on an Xvfb display with a tray host,
its readers served by kelvo-driver, their PIV cards reached through a private pcscd and OpenSC. A card whose
certificate names the logged-on user keeps that reader's page in front, and a PIN changed in the PIN window reaches
that card. Needs root (pcscd); reported skipped otherwise.

The outer run writes the scenario and starts itself again inside scripts/with-pcscd (--inner)."""

import argparse
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

APP = OUTPUT = None
OWN = '001a7dda7113'
OWN_SERIAL = 'K2000000042'
OTHER = '001a7dda8224'
OTHER_SERIAL = 'K2000000043'
PIN = '123456'
NEW_PIN = '24681357'
SKIPPED = 77


def full_name():
    """The account's full name as the program reads it: the GECOS field up to its first comma."""
    return pwd.getpwuid(os.getuid()).pw_gecos.split(',')[0]


def reader(address, serial, holder, pin):
    return {'family': 'kelvo', 'address': address, 'generation': 2,
            'descriptor': {'Serial': serial},
            'card': {'atr': '3B8180018080', 'piv': {'holder': holder, 'pin': pin, 'puk': '12345678',
                                                    'pin-tries': 3}}}


def wait_until(condition, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(step)
    return condition()


class Session:
    """The display, the tray host and Kelvo Central in private folders; pcscd and the driver come from with-pcscd."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix='kelvo-security-')
        self.processes = []
        read_end, write_end = os.pipe()
        self.start(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
                   os.environ, pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            display = ':' + pipe.readline().strip()
        for folder in ('data', 'state', 'config'):
            os.makedirs(self.path(folder), mode=0o700, exist_ok=True)
        self.env = dict(os.environ, DISPLAY=display, TREVALON_DATA_DIR=self.path('data'),
                        XDG_STATE_HOME=self.path('state'), XDG_CONFIG_HOME=self.path('config'))
        self.env.pop('WAYLAND_DISPLAY', None)
        tray = self.start(['trayer', '--edge', 'top', '--align', 'right', '--width', '10', '--height', '24',
                           '--SetDockType', 'false'], self.env)
        assert wait_until(lambda: tray.poll() is None and self.run('xdotool', 'search', '--classname', 'panel'), 10), \
            'trayer did not come up'

    def path(self, name):
        return os.path.join(self.root, name)

    def start(self, command, env, errors=None, **options):
        stderr = open(self.path(errors), 'w') if errors else subprocess.DEVNULL
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=stderr, **options)
        if errors:
            stderr.close()
        self.processes.append(process)
        return process

    def run(self, *command):
        return subprocess.run(list(command), env=self.env, capture_output=True, text=True).stdout

    def start_central(self):
        # The program's own radio is the simulated one with no readers: every reader here is the driver's.
        empty = self.path('empty.json')
        with open(empty, 'w') as file:
            json.dump({'devices': []}, file)
        env = dict(self.env, KELVO_BLE_BACKEND='sim', KELVO_SIM_SCENARIO=empty,
                   KELVO_SIM_CONTROL=self.path('central.ctl'))
        self.start([APP], env, errors='central.stderr')
        assert wait_until(lambda: self.window('^Kelvo Central$') is not None, 15), 'the main window did not appear'

    def window(self, title):
        found = self.run('xdotool', 'search', '--onlyvisible', '--name', title).split()
        return found[0] if found else None

    def log(self):
        try:
            with open(self.path('state/kelvo-central/central.log'), errors='replace') as file:
                return file.read()
        except FileNotFoundError:
            return ''

    def wait_for_log(self, text, timeout):
        return wait_until(lambda: text in self.log(), timeout)

    def driver_control(self, *command):
        return subprocess.run([os.path.join(REPOSITORY, 'scripts/demo-control'), os.environ['KELVO_SIM_CONTROL']]
                              + list(command), capture_output=True, text=True).stdout.strip()

    def screenshot(self, window, name):
        time.sleep(0.3)
        subprocess.run(['import', '-window', window, os.path.join(OUTPUT, name + '.png')], env=self.env)

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        if os.path.exists(self.path('central.stderr')):
            shutil.copy(self.path('central.stderr'), os.path.join(OUTPUT, 'central.stderr'))
        with open(os.path.join(OUTPUT, 'central.log'), 'w') as file:
            file.write(self.log())
        shutil.rmtree(self.root, ignore_errors=True)


class CardOfTheUserTest(unittest.TestCase):
    def setUp(self):
        self.session = Session()
        self.addCleanup(self.session.close)
        self.session.start_central()

    def test_the_users_reader_stays_in_front_and_its_pin_changes_from_the_pin_window(self):
        session = self.session
        self.assertTrue(session.wait_for_log('Successfully authorized device Kelvo ' + OWN_SERIAL, 30),
                        session.log()[-3000:])
        self.assertIn('Authorized via the reader: Kelvo ' + OWN, session.log())

        # A newer reader with another person's card: without the user's reader it would take the window.
        answer = session.driver_control('add-reader', json.dumps(reader(OTHER, OTHER_SERIAL, 'Max Mustermann',
                                                                        '654321')))
        self.assertEqual(answer, 'ok')
        self.assertTrue(session.wait_for_log('Device Kelvo %s unauthorized' % OTHER_SERIAL, 30),
                        session.log()[-3000:])
        time.sleep(1)
        main = session.window('^Kelvo Central$')
        session.screenshot(main, 'users-reader-in-front')

        # The page's menu (right click) opens the PIN window for the page's reader.
        session.run('xdotool', 'mousemove', '--window', main, '490', '400', 'click', '3')
        time.sleep(0.5)
        session.run('xdotool', 'key', 'c')
        pin_window = wait_until(lambda: session.window('^Change PIN$'), 5)
        self.assertIsNotNone(pin_window, 'the PIN window did not open')
        session.run('xdotool', 'windowfocus', '--sync', pin_window)
        for text in (PIN, NEW_PIN, NEW_PIN):
            session.run('xdotool', 'type', '--window', pin_window, text)
            session.run('xdotool', 'key', '--window', pin_window, 'Tab')
        session.run('xdotool', 'key', '--window', pin_window, 'Return')

        changed = wait_until(lambda: 'pin %s ' % NEW_PIN in session.driver_control('piv-state', OWN), 30)
        session.screenshot(pin_window, 'pin-changed')
        self.assertTrue(changed, session.driver_control('piv-state', OWN) + '\n' + session.log()[-3000:])
        self.assertIn('pin 654321 ', session.driver_control('piv-state', OTHER))
        # The PINs never reach the log.
        for secret in (PIN, NEW_PIN):
            self.assertNotIn(secret, session.log())


def outer(arguments, rest):
    if os.getuid() != 0:
        print('skipped: pcscd needs root')
        return SKIPPED
    if not full_name():
        print('skipped: the account has no full name, so every reader is authorised without a card')
        return SKIPPED
    work = tempfile.mkdtemp(prefix='kelvo-security-scenario-')
    try:
        scenario = os.path.join(work, 'scenario.json')
        with open(scenario, 'w') as file:
            json.dump({'devices': [reader(OWN, OWN_SERIAL, full_name(), PIN)]}, file)
        command = [os.path.join(REPOSITORY, 'scripts/with-pcscd'), '--build', arguments.build, scenario, '--',
                   sys.executable, os.path.abspath(__file__), '--inner', '--app', arguments.app,
                   '--build', arguments.build, '--output', arguments.output] + rest
        return subprocess.run(command).returncode
    finally:
        shutil.rmtree(work, ignore_errors=True)


REPOSITORY = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))

if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--build', required=True)
    parser.add_argument('--output', required=True)
    parser.add_argument('--inner', action='store_true')
    arguments, rest = parser.parse_known_args()
    APP, OUTPUT = arguments.app, arguments.output
    os.makedirs(OUTPUT, exist_ok=True)
    if not arguments.inner:
        sys.exit(outer(arguments, rest))
    unittest.main(argv=[sys.argv[0]] + rest)
