#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Kelvo Central with emulated readers, as a person sees it: the program on an Xvfb display with a tray host, one
reader on its own simulated radio and one served by kelvo-driver. Readers are moved through their control FIFOs;
what the program shows is read from its log and from screenshots, which are kept in the output directory."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

APP = DRIVER = OUTPUT = None

IN_PROCESS = '001a7dda7113'
DRIVEN = '001a7dda8224'
POLL_S = 2.0
# Window coordinates of the form (982 x 688, fixed): the change-device button, the device list's second row and
# its Select button, the Buzzer button and the toggle of its pop-up, the card symbol.
CHANGE_DEVICE = (877, 48)
LIST_SECOND_ROW = (735, 168)
LIST_SELECT = (706, 284)
BUZZER = (768, 652)
BUZZER_TOGGLE = (739, 582)
CARD_SYMBOL = '110x70+332+164'
SANITIZER_REPORT = re.compile(r'(Thread|Address|Leak)Sanitizer|runtime error:')


def reader(address, serial, generation, battery, usb, card_atr):
    return {'family': 'kelvo', 'address': address, 'name': 'Kelvo ' + serial, 'generation': generation,
            'service': '6803', 'descriptor': {'Serial': serial, 'Firmware': '%d.1.0' % generation},
            'battery': battery, 'usb': usb,
            'settings': {'1': 2, '2': 1, '3': 0, '4': 1, '5': 3, '6': 1, '7': 1, '8': -70},
            'card': {'atr': card_atr}}


def lines_in(path):
    if not os.path.exists(path):
        return []
    with open(path) as file:
        return file.read().splitlines()


def wait_until(condition, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return bool(condition())


class Session:
    """The display, the tray host, kelvo-driver and Kelvo Central, each in private directories."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix='kelvo-devices-')
        self.processes = []
        read_end, write_end = os.pipe()
        self.start(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
                   os.environ, pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            display = ':' + pipe.readline().strip()
        self.env = dict(os.environ, DISPLAY=display, TREVALON_RUNTIME_DIR=self.path('run'),
                        TREVALON_DATA_DIR=self.path('data'), XDG_STATE_HOME=self.path('state'),
                        XDG_CONFIG_HOME=self.path('config'))
        self.env.pop('WAYLAND_DISPLAY', None)
        for folder in ('run', 'data/driver', 'driver-settings', 'state', 'config'):
            os.makedirs(self.path(folder), mode=0o700, exist_ok=True)
        # A returning user who has switched the tutorial off, so no tutorial covers the window.
        self.write_settings('tutorialOnStarup=false\n')
        self.start_tray_host()

    def write_settings(self, lines):
        folder = self.path('config/trevalon GmbH')
        os.makedirs(folder, mode=0o700, exist_ok=True)
        with open(os.path.join(folder, 'Kelvo Central.conf'), 'w') as file:
            file.write('[General]\n' + lines)

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

    def start_tray_host(self):
        for _ in range(3):
            tray = self.start(['trayer', '--edge', 'top', '--align', 'right', '--width', '10', '--height', '24',
                               '--SetDockType', 'false'], self.env)
            if wait_until(lambda: tray.poll() is None and self.run('xdotool', 'search', '--classname', 'panel'), 5):
                return
            tray.kill()
        raise AssertionError('trayer did not come up')

    def scenario(self, name, devices):
        path = self.path(name)
        with open(path, 'w') as file:
            json.dump({'devices': devices}, file)
        return path

    def start_driver(self, scenario):
        env = dict(self.env, TREVALON_SETTINGS_DIR=self.path('driver-settings'),
                   KELVO_SIM_CONTROL=self.path('driver.ctl'))
        self.start([DRIVER, '--scenario', scenario, '--poll-interval', '200'], env,
                   errors='driver.log')
        socket = self.path('run/omnivex#ipc#ver6#kelvo_' + DRIVEN)
        assert wait_until(lambda: os.path.exists(socket), 15), 'kelvo-driver did not serve its reader'

    def start_central(self, scenario, wrapper=()):
        """Starts the program on the scenario's radio; `wrapper` goes in front of it (scripts/with-usb ...)."""
        # Tracing on: some tests follow a request into the library's layers by its trace lines.
        env = dict(self.env, KELVO_BLE_BACKEND='sim', KELVO_SIM_SCENARIO=scenario,
                   KELVO_SIM_CONTROL=self.path('central.ctl'), KELVO_TRACE='1')
        self.central = self.start(list(wrapper) + [APP], env, errors='central.stderr')
        assert wait_until(lambda: self.window() is not None, 15), 'the main window did not appear'

    def window(self):
        found = self.run('xdotool', 'search', '--onlyvisible', '--name', '^Kelvo Central$').split()
        return found[0] if found else None

    def log(self):
        try:
            with open(self.path('state/kelvo-central/central.log'), errors='replace') as file:
                return file.read()
        except FileNotFoundError:
            return ''

    def wait_for_log(self, text, timeout, after=0):
        return wait_until(lambda: text in self.log()[after:], timeout)

    def control(self, fifo, command):
        answers = self.path(fifo) + '.out'
        before = len(lines_in(answers))
        with open(self.path(fifo), 'w') as pipe:
            pipe.write(command + '\n')
        assert wait_until(lambda: len(lines_in(answers)) > before, 5), 'no answer to ' + command
        answer = lines_in(answers)[-1]
        assert answer == 'ok' or answer.startswith('ok '), '%s: %s' % (command, answer)
        return answer

    def reader_settings(self, fifo, address):
        """The emulated reader's settings as it holds them, {id: value}."""
        answer = self.control(fifo, 'settings ' + address)
        return dict((int(k), int(v)) for k, v in (item.split('=') for item in answer.split()[1:]))

    def click(self, position):
        self.run('xdotool', 'mousemove', '--window', self.window(), str(position[0]), str(position[1]), 'click', '1')
        time.sleep(0.4)

    def screenshot(self, name):
        time.sleep(0.3)
        target = os.path.join(OUTPUT, name + '.png')
        subprocess.run(['import', '-window', self.window(), target], env=self.env, check=True)
        return target

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        for name in ('central.stderr', 'driver.log'):
            if os.path.exists(self.path(name)):
                shutil.copy(self.path(name), os.path.join(OUTPUT, name))
        with open(os.path.join(OUTPUT, 'central.log'), 'w') as file:
            file.write(self.log())
        shutil.rmtree(self.root, ignore_errors=True)


def differs(first, second, geometry):
    """Pixels that differ between the same region of two screenshots."""
    result = subprocess.run(['compare', '-metric', 'AE', first + '[' + geometry + ']', second + '[' + geometry + ']',
                             'null:'], capture_output=True, text=True)
    return int(float(result.stderr.split()[0]))


def colours(image):
    return int(subprocess.run(['identify', '-format', '%k', image], capture_output=True, text=True).stdout)


class TwoReadersTest(unittest.TestCase):
    def setUp(self):
        self.session = Session()
        self.addCleanup(self.session.close)
        session = self.session
        session.start_driver(session.scenario('driver.json', [
            reader(DRIVEN, 'K2000000042', 2, 55, 1, '3B8F8001804F0CA000000306030001000000006A')]))
        session.start_central(session.scenario('central.json', [
            reader(IN_PROCESS, '5123456789', 1, 80, 0, '3B8180018080')]))
        self.assertTrue(session.wait_for_log('Initialized device Kelvo 5123456789', 20), session.log()[-3000:])
        self.assertTrue(session.wait_for_log('Initialized device Kelvo K2000000042', 20), session.log()[-3000:])

    def show_in_process_reader(self):
        # The driver's reader is found first, so the program's own reader is the list's second row.
        self.session.click(CHANGE_DEVICE)
        self.session.screenshot('device-list')
        self.session.click(LIST_SECOND_ROW)
        self.session.click(LIST_SELECT)

    def test_two_readers_show_settings_reach_the_reader_and_a_removed_card_shows(self):
        session = self.session
        self.assertEqual(len(re.findall(r'Initialized device Kelvo ', session.log())), 2)
        page = session.screenshot('reader-page')
        self.assertGreater(colours(page), 50, 'a drawn page, not a blank window')

        self.show_in_process_reader()
        before = session.screenshot('in-process-reader')

        # Buzzer off through its pop-up: the reader stack sends it on to the emulated reader.
        mark = len(session.log())
        session.click(BUZZER)
        session.screenshot('buzzer-popup')
        session.click(BUZZER_TOGGLE)
        self.assertTrue(session.wait_for_log('KelvoReaderKelvoBLEReaderTranslator::setSetting(6)', 5, mark))
        self.assertNotIn('removed unexpectedly on SetSetting failure', session.log()[mark:])
        self.assertTrue(wait_until(lambda: session.reader_settings('central.ctl', IN_PROCESS).get(6) == 0, 5),
                        'the emulated reader holds buzzer %s' % session.reader_settings('central.ctl', IN_PROCESS))
        session.run('xdotool', 'key', 'Escape')
        session.click((490, 400))  # the shade: closes the pop-up

        # The link drops and returns: the reader's settings are read from the emulator again. Had the emulator
        # not taken the change, the next polls would bring the old value back.
        mark = len(session.log())
        session.control('central.ctl', 'drop ' + IN_PROCESS)
        self.assertTrue(session.wait_for_log('KelvoReaderKelvoBLEReaderTranslator::loadSettings', 8, mark))
        time.sleep(2 * POLL_S + 0.5)
        self.assertNotIn("Device's Kelvo 5123456789 buzzer enabled setting changed 1", session.log()[mark:])

        # A card taken out of the emulated reader shows within two polls.
        mark = len(session.log())
        session.control('central.ctl', 'remove ' + IN_PROCESS)
        self.assertTrue(session.wait_for_log("Device's Kelvo 5123456789 card status changed 1", 2 * POLL_S + 0.5,
                                             mark), session.log()[mark:][-2000:])
        after = session.screenshot('card-removed')
        self.assertGreater(differs(before, after, CARD_SYMBOL), 500, 'the card symbol changed')

        # The driver's reader too.
        mark = len(session.log())
        session.control('driver.ctl', 'remove ' + DRIVEN)
        self.assertTrue(session.wait_for_log("Device's Kelvo K2000000042 card status changed 1", 2 * POLL_S + 0.5,
                                             mark))

        # In the sanitizer builds, both programs ran the whole time without a report.
        for name in ('central.stderr', 'driver.log'):
            reports = [line for line in lines_in(session.path(name)) if SANITIZER_REPORT.search(line)]
            self.assertEqual(reports, [], name)


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--driver', required=True)
    parser.add_argument('--output', required=True)
    arguments, rest = parser.parse_known_args()
    APP, DRIVER, OUTPUT = arguments.app, arguments.driver, arguments.output
    os.makedirs(OUTPUT, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest)
