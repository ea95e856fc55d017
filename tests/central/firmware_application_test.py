#!/usr/bin/python3
"""Kelvo Central offering a newer firmware, as a person sees it: the program on an Xvfb display with a tray host and
a first-generation reader on its own simulated radio, a catalogue folder in the user's cache holding a newer image
for it. The offer appears on the reader's page; "Update" has the update prepared. Screenshots go to the output
directory."""

import argparse
import os
import sys
import time
import unittest

import devices_application_test as desktop

READER = '001a7dda7113'
SERIAL = '5123456789'
DESCRIPTOR = ('<firmware version="2"><name>Kelvo firmware</name><version>1.5.0</version>'
              '<description>Faster pairing</description><date>01.02.2026 10:30</date>'
              '<serial>5.*</serial><method>ble</method></firmware>')


class FirmwareOfferTest(unittest.TestCase):
    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        folder = self.session.path('cache/kelvo-central/Firmware')
        os.makedirs(folder)
        with open(os.path.join(folder, 'k1-150.xml'), 'w') as file:
            file.write(DESCRIPTOR)
        with open(os.path.join(folder, 'k1-150.bin'), 'wb') as file:
            file.write(b'\x5a' * 4096)
        self.session.env['XDG_CACHE_HOME'] = self.session.path('cache')

    def test_a_newer_image_is_offered_on_the_page_and_update_prepares_it(self):
        session = self.session
        session.start_central(session.scenario('central.json', [
            desktop.reader(READER, SERIAL, 1, 80, 0, '3B8180018080')]))
        self.assertTrue(session.wait_for_log(
            'There is a newer firmware (1.5.0) available for device with serial %s (1.1.0)' % SERIAL, 20),
            session.log()[-3000:])
        self.assertIn('Kelvo firmware (k1-150): matched', session.log())
        time.sleep(1)
        before = session.screenshot('firmware-offered')
        self.assertGreater(desktop.colours(before), 50, 'a drawn page, not a blank window')

        session.run('xdotool', 'windowfocus', '--sync', session.window())
        mark = len(session.log())
        session.run('xdotool', 'key', '--window', session.window(), 'space')
        self.assertTrue(session.wait_for_log('Firmware received', 5, mark), session.log()[mark:][-2000:])
        after = session.screenshot('firmware-update-prepared')
        self.assertGreater(desktop.differs(before, after, '982x688+0+0'), 1000, 'the offer pop-up closed')


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--output', required=True)
    arguments, rest = parser.parse_known_args()
    desktop.APP, desktop.OUTPUT = arguments.app, arguments.output
    os.makedirs(arguments.output, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest)
