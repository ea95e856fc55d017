#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Kelvo Central offering a newer firmware, as a person sees it: the program on an Xvfb display with a tray host and
a reader on its own simulated radio. A first-generation reader finds a newer image in a catalogue folder in the
user's cache: the offer appears on the reader's page and "Update" has the update prepared. A second-generation reader
asks the update server (a local HTTPS server whose authority the program trusts through its settings): the updater's
dialog offers the newer release, Install downloads, verifies and unpacks it, and the update is prepared and flashed
over the air. A second-generation reader on its USB cable whose image is meant for the USB bootloader is flashed
through it, with the program's real libusb code on the bus that scripts/with-usb emulates. Screenshots go to the
output directory."""

import argparse
import json
import os
import stat
import subprocess
import sys
import time
import unittest
import zipfile

import devices_application_test as desktop
import update_server

RELEASE_TOOL = None
RELEASE_KEY = None
SIM_IMAGE = None
WITH_USB = None

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


K2_READER = '001a7dda7120'
K2_SERIAL = 'K2000123'
K2_DESCRIPTOR = ('<firmware version="2"><name>Kelvo 2 firmware</name><version>2.2.0</version>'
                 '<description>Longer battery life</description><date>01.03.2026 09:00</date>'
                 '<serial>K2.*</serial><method>ble</method></firmware>')


class UpdateServerOfferTest(unittest.TestCase):
    """The daily check of a second-generation reader on firmware 2.1.0, with a feed that offers 2.2.0."""

    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        self.session.env['XDG_CACHE_HOME'] = self.session.path('cache')
        server_folder = self.session.path('update-server')
        self.base = self.start_server(server_folder)
        settings = self.session.path('config/trevalon GmbH')
        os.makedirs(settings, exist_ok=True)
        with open(os.path.join(settings, 'Kelvo Central.conf'), 'w') as file:
            file.write('[General]\nupdateServerUrl=%s\nupdateCaFile=%s\ntutorialOnStarup=false\n'
                       % (self.base, os.path.join(server_folder, 'ca.pem')))

    def start_server(self, folder):
        feed_folder = os.path.join(folder, 'www', 'kelvo', 'firmware')
        os.makedirs(feed_folder)
        update_server.make_certificates(folder)
        package = os.path.join(folder, 'www', 'kelvo', 'k2-220.zip')
        regular = stat.S_IFREG | 0o644
        # An image the emulated reader accepts: it installs it from its external flash after the over-the-air write.
        image = os.path.join(folder, 'k2-220.img')
        subprocess.run([SIM_IMAGE, '2.2.0', '4', image], check=True)
        with open(image, 'rb') as file:
            image_bytes = file.read()
        update_server.write_zip(package, [('k2-220/k2-220.xml', K2_DESCRIPTOR, regular),
                                          ('k2-220/k2-220.bin', image_bytes, regular)])
        item = update_server.item(RELEASE_TOOL, RELEASE_KEY, '2.2.0', package, '../k2-220.zip')
        update_server.write_feed(RELEASE_TOOL, os.path.join(folder, 'www'), 'kelvo', [item])
        server = subprocess.Popen(['/usr/bin/python3', update_server.__file__, 'serve', folder],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(server.wait, 10)
        self.addCleanup(server.stdin.close)
        port = int(server.stdout.readline())
        return 'https://127.0.0.1:%d/kelvo/' % port

    def flashing_dialog(self):
        found = self.session.run('xdotool', 'search', '--onlyvisible', '--name', '^Updating Kelvo$').split()
        return found[0] if found else None

    def dialog(self):
        found = self.session.run('xdotool', 'search', '--onlyvisible', '--name', '^Firmware update$').split()
        return found[0] if found else None

    def test_the_updater_offers_the_newer_release_and_install_prepares_the_update(self):
        session = self.session
        session.start_central(session.scenario('central.json', [
            desktop.reader(K2_READER, K2_SERIAL, 2, 80, 0, '3B8180018080')]))
        self.assertTrue(session.wait_for_log(
            "Checking for update from '%sfirmware/kelvo-firmware.xml'..." % self.base, 30), session.log()[-3000:])
        self.assertTrue(desktop.wait_until(lambda: self.dialog() is not None, 20),
                        'the update dialog did not appear\n' + session.log()[-3000:])
        time.sleep(1)
        offer = os.path.join(desktop.OUTPUT, 'update-feed-offer.png')
        subprocess.run(['import', '-window', self.dialog(), offer], env=session.env, check=True)
        self.assertGreater(desktop.colours(offer), 20, 'a drawn dialog, not a blank window')

        mark = len(session.log())
        session.run('xdotool', 'windowfocus', '--sync', self.dialog())
        session.run('xdotool', 'key', '--window', self.dialog(), 'Return')
        self.assertTrue(session.wait_for_log('Update success!', 20, mark), session.log()[mark:][-3000:])
        unpacked = session.path('cache/kelvo-central/Firmware/k2-220/k2-220.xml')
        self.assertTrue(os.path.exists(unpacked))
        self.assertTrue(session.wait_for_log(
            'There is a newer firmware (2.2.0) available for device with serial %s (2.1.0)' % K2_SERIAL, 10, mark),
            session.log()[mark:][-3000:])
        self.assertTrue(session.wait_for_log('Firmware received', 10, mark), session.log()[mark:][-3000:])
        self.assertTrue(desktop.wait_until(lambda: self.dialog() is None, 10), 'the dialog stayed open')
        session.screenshot('update-feed-installed')

        # The prepared update is flashed over the air; the reader comes back on 2.2.0 and is offered nothing more.
        self.assertTrue(desktop.wait_until(lambda: self.flashing_dialog() is not None, 10),
                        'the flashing dialog did not appear\n' + session.log()[mark:][-3000:])
        self.assertTrue(session.wait_for_log(
            'There is no firmware update available for device with serial %s (2.2.0)' % K2_SERIAL, 30, mark),
            '\n'.join(line for line in session.log()[mark:].splitlines() if line.strip() and '[kelvo.library]' not in line)[-4000:])
        done = os.path.join(desktop.OUTPUT, 'flashed-over-the-air.png')
        subprocess.run(['import', '-window', self.flashing_dialog(), done], env=session.env, check=True)
        self.assertNotIn('Failed to flash', session.log()[mark:])


USB_READER = '001a7dda7130'
USB_SERIAL = 'KLV21234567890'
USB_DESCRIPTOR = ('<firmware version="2"><name>Kelvo 2 firmware</name><version>2.3.0</version>'
                  '<description>Through the cable</description><date>01.04.2026 09:00</date>'
                  '<serial>KLV2.*</serial><method>usb</method></firmware>')


class UsbFlashingTest(unittest.TestCase):
    """An image for the USB bootloader: the reader is found on its cable, sent into its bootloader and written; the
    bootloader goes away in the middle of a page and comes back, and the writing starts again from the erase."""

    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        folder = self.session.path('cache/kelvo-central/Firmware')
        os.makedirs(folder)
        with open(os.path.join(folder, 'k2-230.xml'), 'w') as file:
            file.write(USB_DESCRIPTOR)
        subprocess.run([SIM_IMAGE, '2.3.0', '3', os.path.join(folder, 'k2-230.bin')], check=True)
        self.session.env['XDG_CACHE_HOME'] = self.session.path('cache')
        self.report = self.session.path('bootloader-report.json')
        self.bus = self.session.path('usb.json')
        with open(self.bus, 'w') as file:
            json.dump({'devices': [], 'usb': [{'kind': 'bootloader', 'generation': 2, 'serial': USB_SERIAL,
                                               'report': self.report, 'vanish-at-page': 1, 'replug-after': 2}]}, file)

    def flashing_dialog(self):
        found = self.session.run('xdotool', 'search', '--onlyvisible', '--name', '^Updating Kelvo$').split()
        return found[0] if found else None

    def test_the_reader_on_its_cable_is_written_through_its_bootloader(self):
        # A second-generation reader has its update prepared as soon as it is offered, and the flashing starts.
        session = self.session
        session.start_central(session.scenario('central.json', [
            desktop.reader(USB_READER, USB_SERIAL, 2, 80, 1, '3B8180018080')]), wrapper=(WITH_USB, self.bus, '--'))
        self.assertTrue(session.wait_for_log(
            'There is a newer firmware (2.3.0) available for device with serial %s (2.1.0)' % USB_SERIAL, 20),
            session.log()[-3000:])
        mark = session.log().index('There is a newer firmware (2.3.0)')
        self.assertTrue(session.wait_for_log('Firmware received', 5, mark), session.log()[mark:][-2000:])
        self.assertTrue(desktop.wait_until(lambda: self.flashing_dialog() is not None, 10),
                        'the flashing dialog did not appear\n' + session.log()[mark:][-3000:])
        self.assertTrue(session.wait_for_log('Forced bootloader mode', 10, mark), session.log()[mark:][-3000:])
        self.assertTrue(session.wait_for_log('Failed to flash page 1', 20, mark), session.log()[mark:][-3000:])
        self.assertTrue(session.wait_for_log(
            'There is no firmware update available for device with serial %s (2.3.0)' % USB_SERIAL, 40, mark),
            '\n'.join(line for line in session.log()[mark:].splitlines() if '[kelvo.library]' not in line)[-4000:])
        with open(self.report) as file:
            self.assertEqual(json.load(file), {'generation': 2, 'pages': 3, 'erased': True, 'installed': '2.3.0'})
        done = os.path.join(desktop.OUTPUT, 'flashed-over-usb.png')
        subprocess.run(['import', '-window', self.flashing_dialog(), done], env=session.env, check=True)
        self.assertGreater(desktop.colours(done), 20, 'a drawn dialog, not a blank window')


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--output', required=True)
    parser.add_argument('--release-tool', required=True)
    parser.add_argument('--release-key', required=True)
    parser.add_argument('--sim-image', required=True)
    parser.add_argument('--with-usb', required=True)
    arguments, rest = parser.parse_known_args()
    desktop.APP, desktop.OUTPUT = arguments.app, arguments.output
    RELEASE_TOOL, RELEASE_KEY, SIM_IMAGE = arguments.release_tool, arguments.release_key, arguments.sim_image
    WITH_USB = arguments.with_usb
    os.makedirs(arguments.output, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest)
