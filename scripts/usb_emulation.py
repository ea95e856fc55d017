"""Emulated USB devices for programs that use libusb, on a umockdev test bed.

Each device is put into the bed's sysfs and /dev/bus/usb with its descriptors; an ioctl handler answers the
usbdevfs requests libusb makes (capabilities, claim and release, URBs and their reaping): control transfers for the
string descriptors (the serial number), and bulk OUT transfers, which go to the device's emulator. The bed's
process must iterate its GLib main context while the program runs.

Device kinds (scenario entries under "usb"):
  {"kind": "bootloader", "generation": 1|2, "serial": "...", "vid": "2dff", "pid": "b501",
   "report": "FILE", "fail-transfer": N, "vanish-at-page": P, "replug-after": SECONDS}
The bootloader emulator takes the command bytes of its generation, keeps the written pages, checks the image at
the end (first generation: pages 1..N in order, at most 119; second generation: the header and signature rule of
docs/emulator.md) and writes what it installed to the report file as JSON. "fail-transfer" makes the N-th bulk
transfer (counted from 1) come back short; "vanish-at-page" unplugs the device while page P is being written, and
"replug-after" plugs it in again that many seconds later (a fresh bootloader that does not vanish again). While
unplugged the device stays in sysfs but every request to it, opening included, fails with ENODEV.
"""

import hashlib
import json
import struct

import gi

gi.require_version('UMockdev', '1.0')
from gi.repository import GLib, UMockdev  # noqa: E402

USBDEVFS_SUBMITURB = 0x8038550a
USBDEVFS_REAPURB = 0x4008550c
USBDEVFS_REAPURBNDELAY = 0x4008550d
USBDEVFS_DISCARDURB = 0x0000550b
USBDEVFS_GET_CAPABILITIES = 0x8004551a
USBDEVFS_CLAIMINTERFACE = 0x8004550f
USBDEVFS_RELEASEINTERFACE = 0x80045510
USBDEVFS_SETINTERFACE = 0x80085504
USBDEVFS_SETCONFIGURATION = 0x80045505
USBDEVFS_CLEAR_HALT = 0x80045515
USBDEVFS_RESET = 0x00005514
USBDEVFS_DISCONNECT_CLAIM = 0x8108551b
URB_TYPE_CONTROL = 2
URB_SIZE = 56
EAGAIN = 11
ENODEV = 19
EPIPE = 32


def descriptors(vid, pid):
    device = struct.pack('<BBHBBBBHHHBBBB', 18, 1, 0x0200, 0, 0, 0, 64, vid, pid, 0x0100, 1, 2, 3, 1)
    configuration = struct.pack('<BBHBBBBB', 9, 2, 32, 1, 1, 0, 0x80, 50)
    interface = struct.pack('<BBBBBBBBB', 9, 4, 0, 0, 2, 0xFF, 0, 0, 0)
    bulk_out = struct.pack('<BBBBHB', 7, 5, 0x01, 2, 64, 0)
    bulk_in = struct.pack('<BBBBHB', 7, 5, 0x81, 2, 64, 0)
    return (device + configuration + interface + bulk_out + bulk_in).hex().upper()


def record(number, vid, pid, serial):
    hexed = descriptors(vid, pid)
    node = 'bus/usb/001/%03d' % number
    return '\n'.join([
        'P: /devices/pci0000:00/0000:00:14.0/usb1/1-%d' % number,
        'N: %s=%s' % (node, hexed),
        'E: DEVNAME=/dev/%s' % node,
        'E: DEVTYPE=usb_device',
        'E: DRIVER=usb',
        'E: PRODUCT=%x/%x/100' % (vid, pid),
        'E: TYPE=0/0/0',
        'E: BUSNUM=001',
        'E: DEVNUM=%03d' % number,
        'E: MAJOR=189',
        'E: MINOR=%d' % (number - 1),
        'E: SUBSYSTEM=usb',
        'A: busnum=1\\n',
        'A: devnum=%d\\n' % number,
        'A: idVendor=%04x\\n' % vid,
        'A: idProduct=%04x\\n' % pid,
        'A: serial=%s\\n' % serial,
        'A: speed=480\\n',
        'A: bConfigurationValue=1\\n',
        'A: bNumConfigurations=1\\n',
        'A: bDeviceClass=00\\n',
        'A: dev=189:%d\\n' % (number - 1),
        'H: descriptors=%s' % hexed,
    ]) + '\n'


def string_descriptor(index, serial):
    if index == 0:
        return bytes([4, 3, 0x09, 0x04])
    text = {1: 'Kelvo', 2: 'Kelvo bootloader', 3: serial}.get(index, '').encode('utf-16-le')
    return bytes([2 + len(text), 3]) + text


class Bootloader:
    """A reader's bootloader: the command bytes in, the pages kept, the image checked at the end."""

    PAGE = 2048

    def __init__(self, entry):
        self.generation = entry.get('generation', 2)
        self.report_path = entry.get('report')
        self.vanish_at_page = entry.get('vanish-at-page')
        self.header = None
        self.pages = {}
        self.page = None
        self.page_data = b''
        self.erased = False
        self.zeros = 0
        self.commands = []
        self.vanish = False

    def bulk_out(self, data):
        """Takes one transfer; returns False when the device vanishes instead."""
        if self.page is not None and len(self.page_data) < self.PAGE:
            if self.vanish_at_page is not None and self.page == self.vanish_at_page and self.page_data:
                self.vanish_at_page = None
                self.vanish = True
                return False
            self.page_data += data
            if len(self.page_data) >= self.PAGE:
                self.pages[self.page] = self.page_data[:self.PAGE]
                self.page = None
            return True
        command = data[0] if data else None
        if command == 0xE1:
            self.erased, self.pages, self.header = True, {}, data[1:12] if self.generation == 2 else None
            self.commands.append('erase')
        elif command == 0x00 and len(data) == 1:
            self.zeros += 1
        elif command == 0xE4:
            self.page = data[1] if self.generation == 1 else (data[1] << 8) | data[2]
            self.page_data = b''
        elif command == 0xE0:
            self.commands.append('check')
            self.finish(data[1:17] if self.generation == 2 else None)
        else:
            self.commands.append('unknown %s' % data[:4].hex())
        return True

    def finish(self, signature):
        report = {'generation': self.generation, 'pages': len(self.pages), 'erased': self.erased}
        error = self.check(signature)
        if error:
            report['error'] = error
        elif self.generation == 2:
            report['installed'] = '%d.%d.%d' % tuple(self.header[4:7])
        else:
            report['installed'] = 'plain image of %d pages' % len(self.pages)
        if self.report_path:
            with open(self.report_path, 'w') as file:
                json.dump(report, file)

    def check(self, signature):
        if not self.erased:
            return 'not erased'
        if self.generation == 1:
            expected = list(range(1, len(self.pages) + 1))
            if sorted(self.pages) != expected:
                return 'pages %s are not 1..N' % sorted(self.pages)
            if len(self.pages) > 119:
                return 'more than 119 pages'
            return None
        expected = list(range(len(self.pages)))
        if sorted(self.pages) != expected:
            return 'pages %s are not 0..N-1' % sorted(self.pages)
        if self.header is None or self.header[:4] != b'KFW2':
            return 'no image header'
        if ((self.header[7] << 8) | self.header[8]) != len(self.pages):
            return "the header's page count is not the image's"
        body = b''.join(self.pages[index] for index in expected)
        if hashlib.sha256(bytes(self.header) + body).digest()[:16] != bytes(signature):
            return 'the signature does not match'
        return None


class UsbDevice(UMockdev.IoctlBase):
    """Answers libusb's usbdevfs requests for one emulated device."""

    def __init__(self, entry, emulator):
        super().__init__()
        self.entry = entry
        self.serial = entry['serial']
        self.fail_transfer = entry.get('fail-transfer')
        self.emulator = emulator
        self.transfers = 0
        self.pending = []
        self.gone = False

    def do_handle_ioctl(self, client):
        request = client.get_request() & 0xffffffff
        arg = client.get_arg()
        if self.gone:
            client.complete(-1, ENODEV)
            return True
        if request == USBDEVFS_GET_CAPABILITIES:
            arg.resolve(0, 4).update(0, struct.pack('<I', 0))
        elif request in (USBDEVFS_CLAIMINTERFACE, USBDEVFS_RELEASEINTERFACE, USBDEVFS_SETINTERFACE,
                         USBDEVFS_SETCONFIGURATION, USBDEVFS_CLEAR_HALT, USBDEVFS_RESET, USBDEVFS_DISCARDURB,
                         USBDEVFS_DISCONNECT_CLAIM):
            pass
        elif request == USBDEVFS_SUBMITURB:
            return self.submit(client, arg.resolve(0, URB_SIZE))
        elif request in (USBDEVFS_REAPURB, USBDEVFS_REAPURBNDELAY):
            if not self.pending:
                client.complete(-1, EAGAIN)
                return True
            arg.resolve(0, 8).set_ptr(0, self.pending.pop(0))
        else:
            return False
        client.complete(0, 0)
        return True

    def submit(self, client, urb):
        raw = urb.retrieve()
        kind, endpoint = raw[0], raw[1]
        length, = struct.unpack('<i', raw[24:28])
        buffer = urb.resolve(16, length)
        payload = buffer.retrieve()[:length]
        status, actual = 0, length
        if kind == URB_TYPE_CONTROL:
            request_type, request, value, index, wanted = struct.unpack('<BBHHH', payload[:8])
            answer = b''
            if request == 6 and value >> 8 == 3:
                answer = string_descriptor(value & 0xFF, self.serial)[:wanted]
            buffer.update(8, answer)
            actual = len(answer)
        elif endpoint == 0x01:
            self.transfers += 1
            if self.fail_transfer == self.transfers:
                status, actual = -EPIPE, 0
            elif not self.emulator.bulk_out(payload):
                self.unplug()
                client.complete(-1, ENODEV)
                return True
        urb.update(4, struct.pack('<i', status))
        urb.update(28, struct.pack('<i', actual))
        self.pending.append(urb)
        client.complete(0, 0)
        return True

    def unplug(self):
        # The device stays in sysfs, but every request fails as for a device that has gone (ENODEV), opening
        # included, until it is plugged in again with a fresh bootloader.
        self.gone = True
        replug = self.entry.get('replug-after')
        if replug is not None:
            GLib.timeout_add(int(replug * 1000), self.replug)

    def replug(self):
        again = dict(self.entry)
        again.pop('vanish-at-page', None)
        self.emulator = Bootloader(again)
        self.pending = []
        self.gone = False
        return False


class UsbWorld:
    """The scenario's USB devices on a umockdev test bed."""

    def __init__(self, entries):
        self.bed = UMockdev.Testbed.new()
        self.devices = []
        for number, entry in enumerate(entries, start=2):
            self.add(number, entry)

    def add(self, number, entry):
        vid, pid = int(entry.get('vid', '2dff'), 16), int(entry.get('pid', 'b501'), 16)
        self.bed.add_from_string(record(number, vid, pid, entry['serial']))
        device = UsbDevice(entry, Bootloader(entry))
        self.bed.attach_ioctl('/dev/bus/usb/001/%03d' % number, device)
        self.devices.append(device)
        return device
