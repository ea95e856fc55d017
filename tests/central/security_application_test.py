#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
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

import devices_application_test as desktop

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


class Session(desktop.Session):
    """The display, the tray host and Kelvo Central of the readers test; pcscd and the driver come from
    with-pcscd, so the program looks for the driver's readers in the driver's runtime folder."""

    def __init__(self):
        super().__init__()
        self.env['TREVALON_RUNTIME_DIR'] = os.environ['TREVALON_RUNTIME_DIR']

    def start_central(self, scenario=None):
        # The program's own radio is the simulated one with no readers: every reader here is the driver's.
        super().start_central(self.scenario('empty.json', []))

    def window_named(self, title):
        found = self.run('xdotool', 'search', '--onlyvisible', '--name', title).split()
        return found[0] if found else None

    def driver_control(self, *command):
        return subprocess.run([os.path.join(REPOSITORY, 'scripts/demo-control'), os.environ['KELVO_SIM_CONTROL']]
                              + list(command), capture_output=True, text=True).stdout.strip()

    def screenshot_of(self, window, name):
        time.sleep(0.3)
        subprocess.run(['import', '-window', window, os.path.join(OUTPUT, name + '.png')], env=self.env)


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
        main = session.window()
        session.screenshot('users-reader-in-front')

        # The page's menu (right click) opens the PIN window for the page's reader.
        session.run('xdotool', 'mousemove', '--window', main, '490', '400', 'click', '3')
        time.sleep(0.5)
        session.run('xdotool', 'key', 'c')
        self.assertTrue(desktop.wait_until(lambda: session.window_named('^Change PIN$'), 5), 'no PIN window')
        pin_window = session.window_named('^Change PIN$')
        session.run('xdotool', 'windowfocus', '--sync', pin_window)
        for text in (PIN, NEW_PIN, NEW_PIN):
            session.run('xdotool', 'type', '--window', pin_window, text)
            session.run('xdotool', 'key', '--window', pin_window, 'Tab')
        session.run('xdotool', 'key', '--window', pin_window, 'Return')

        changed = desktop.wait_until(lambda: 'pin %s ' % NEW_PIN in session.driver_control('piv-state', OWN), 30)
        session.screenshot_of(pin_window, 'pin-changed')
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
    desktop.APP, desktop.OUTPUT = APP, OUTPUT
    os.makedirs(OUTPUT, exist_ok=True)
    if not arguments.inner:
        sys.exit(outer(arguments, rest))
    unittest.main(argv=[sys.argv[0]] + rest)
