#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Kelvo Central with a Bridge, as a person sees it: the program on an Xvfb display with a tray host, its own radio
empty, and an emulated Bridge on the bus that scripts/with-usb emulates (kelvo-sim-bridge), reached through the
program's real libusb code. The tray's "Bridge" entry opens the Bridge page; a scan lists the Kelvo readers in the
Bridge's reach, a reader that is not paired yet asks for its pairing code, and once paired the reader is a device of
the main window, initialised through the Bridge. Unplugging the Bridge takes the reader away again. Screenshots go to
the output directory."""

import argparse
import json
import os
import subprocess
import sys
import time
import unittest

import devices_application_test as desktop

SIM_BRIDGE = None
WITH_USB = None
SCENARIO = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'scenarios', 'bridge.json')

# The Bridge page (420 x 480): the Scan and Connect buttons, the list's second row, the pairing page's Pair button.
SCAN = (60, 447)
CONNECT = (146, 447)
SECOND_ROW = (85, 102)
PAIR = (360, 447)
PASSKEY = '654321'  # the scenario's Bridge asks the reader for this code


class BridgePairingTest(unittest.TestCase):
    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        session = self.session
        bus = session.path('bus.json')
        with open(bus, 'w') as file:
            json.dump({'devices': []}, file)
        session.env['KELVO_BRIDGE_CONTROL'] = session.path('bridge.ctl')
        # The program's own radio has no reader: every reader it shows came through the Bridge.
        session.start_central(session.scenario('central.json', []),
                              wrapper=(WITH_USB, bus, '--', SIM_BRIDGE, SCENARIO, '--'))
        self.assertTrue(session.wait_for_log('Connected to dongle with name: Desk Bridge', 15),
                        session.log()[-3000:])

    def open_bridge_page(self):
        """The tray icon's menu, then "&Bridge" by its mnemonic."""
        session = self.session
        tray = next(window for window in session.run('xdotool', 'search', '--classname', 'panel').split())
        geometry = dict(line.split('=') for line in
                        session.run('xdotool', 'getwindowgeometry', '--shell', tray).split())
        x, y, width, height = (int(geometry[key]) for key in ('X', 'Y', 'WIDTH', 'HEIGHT'))
        session.run('xdotool', 'mousemove', str(x + width - 12), str(y + height // 2), 'click', '3')
        time.sleep(0.8)
        session.run('xdotool', 'key', 'b')
        self.assertTrue(desktop.wait_until(lambda: self.bridge_window() is not None, 10),
                        'the tray menu did not open the Bridge page')

    def bridge_window(self):
        found = self.session.run('xdotool', 'search', '--onlyvisible', '--name', '^Bridge$').split()
        return found[0] if found else None

    def click(self, position):
        self.session.run('xdotool', 'mousemove', '--window', self.bridge_window(), str(position[0]),
                         str(position[1]), 'click', '1')
        time.sleep(0.5)

    def screenshot(self, name, window):
        time.sleep(0.3)
        target = os.path.join(desktop.OUTPUT, name + '.png')
        subprocess.run(['import', '-window', window, target], env=self.session.env, check=True)
        return target

    def test_a_scanned_reader_is_paired_with_its_code_and_shown_until_the_bridge_is_unplugged(self):
        session = self.session
        self.open_bridge_page()
        self.click(SCAN)
        scanned = self.screenshot('bridge-scanned', self.bridge_window())
        self.assertGreater(desktop.colours(scanned), 20, 'a drawn page, not a blank window')

        # The second Kelvo reader in reach is not paired: Connect leads to the pairing page.
        self.click(SECOND_ROW)
        self.click(CONNECT)
        time.sleep(1.0)
        pairing = self.screenshot('bridge-pairing', self.bridge_window())
        self.assertGreater(desktop.differs(scanned, pairing, '400x60+0+40'), 500, 'the pairing page replaced the list')

        mark = len(session.log())
        session.run('xdotool', 'type', '--window', self.bridge_window(), PASSKEY)
        self.click(PAIR)
        self.assertTrue(session.wait_for_log('Initialized device Kelvo 5123456790', 15, mark),
                        session.log()[mark:][-3000:])
        self.assertIn('Added device Kelvo 5123456790', session.log()[mark:])
        self.screenshot('bridge-paired', self.bridge_window())
        # The Bridge page is closed (without a window manager it would cover the main window's corner).
        session.run('xdotool', 'windowunmap', '--sync', self.bridge_window())
        page = self.screenshot('bridge-reader-page', session.window())
        self.assertGreater(desktop.colours(page), 50, 'the reader page, not a blank window')

        # The Bridge leaves the bus: its reader leaves the window with it.
        mark = len(session.log())
        session.control('bridge.ctl', 'unplug')
        self.assertTrue(session.wait_for_log('Removed device Kelvo 5123456790', 10, mark), session.log()[mark:][-3000:])
        self.screenshot('bridge-unplugged', session.window())
        reports = [line for line in desktop.lines_in(session.path('central.stderr'))
                   if desktop.SANITIZER_REPORT.search(line)]
        self.assertEqual(reports, [])


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--output', required=True)
    parser.add_argument('--sim-bridge', required=True)
    parser.add_argument('--with-usb', required=True)
    arguments, rest = parser.parse_known_args()
    desktop.APP, desktop.OUTPUT = arguments.app, arguments.output
    SIM_BRIDGE, WITH_USB = arguments.sim_bridge, arguments.with_usb
    os.makedirs(arguments.output, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest)
