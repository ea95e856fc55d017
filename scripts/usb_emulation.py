# SPDX-License-Identifier: Apache-2.0
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

Emulated readers join the bus through a socket (UsbWorld.listen; the programs find it in KELVO_USB_WORLD). A reader
sends one JSON line per change, {"serial": S, "generation": 1|2, "show": "reader"|"bootloader"|"none"}, and the bus
puts that device in place of whatever the serial had there before. A "usb" entry with the reader's serial is then the
pattern of its bootloader (its report, faults and ids apply), so a scenario may set up both sides of a reader; the
entry's own device leaves the bus when the reader first shows itself. A bootloader shown this way answers, once it has
checked the image and restarted, {"serial": S, "installed": VERSION} (second generation), {"serial": S} (a
first-generation image, which carries no version) or {"serial": S, "error": WHY}.
"""

import hashlib
import json
import os
import socket
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
ENOENT = 2
ESHUTDOWN = 108
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


def bridge_descriptors(vid, pid):
    """A composite device: interface 0 without endpoints, interface 1 with the Bridge's bulk pipes 0x03 and 0x83."""
    device = struct.pack('<BBHBBBBHHHBBBB', 18, 1, 0x0200, 0, 0, 0, 64, vid, pid, 0x0100, 1, 2, 3, 1)
    configuration = struct.pack('<BBHBBBBB', 9, 2, 41, 2, 1, 0, 0x80, 50)
    interface0 = struct.pack('<BBBBBBBBB', 9, 4, 0, 0, 0, 0xFF, 0, 0, 0)
    interface1 = struct.pack('<BBBBBBBBB', 9, 4, 1, 0, 2, 0xFF, 0, 0, 0)
    bulk_out = struct.pack('<BBBBHB', 7, 5, 0x03, 2, 64, 0)
    bulk_in = struct.pack('<BBBBHB', 7, 5, 0x83, 2, 64, 0)
    return (device + configuration + interface0 + interface1 + bulk_out + bulk_in).hex().upper()


def record(number, vid, pid, serial, hexed):
    node = 'bus/usb/001/%03d' % number
    return '\n'.join([
        'P: /devices/pci0000:00/0000:00:14.0/usb1/1-%d' % number,  # UsbWorld.add names it too
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


def string_descriptor(index, serial, product):
    if index == 0:
        return bytes([4, 3, 0x09, 0x04])
    text = {1: 'Kelvo', 2: product, 3: serial}.get(index, '').encode('utf-16-le')
    return bytes([2 + len(text), 3]) + text


# The ids an emulated reader has on the bus per generation: in its firmware, and in its bootloader.
READER_IDS = {1: (0x2dff, 0x1540), 2: (0x2dff, 0xb601)}
BOOTLOADER_IDS = {1: (0x2dff, 0x1440), 2: (0x2dff, 0xb501)}
# A bootloader restarts into the firmware this long after its check, so the check's transfer completes first.
RESTART_MS = 300


class ReaderFunction:
    """A reader in its firmware on the cable: it takes bulk transfers and does nothing with them."""

    def bulk_out(self, data):
        return True


class Bootloader:
    """A reader's bootloader: the command bytes in, the pages kept, the image checked at the end."""

    PAGE = 2048

    def __init__(self, entry, finished=None):
        self.finished = finished
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
        if self.finished:
            self.finished(report)

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
        self.product = entry.get('product', 'Kelvo bootloader')
        self.transfers = 0
        self.pending = []  # completed URBs, waiting to be reaped
        self.waiting_in = []  # bulk IN URBs waiting for data: (urb, buffer, length)
        self.in_data = []  # bulk IN data waiting for a URB
        self.gone = False

    def do_handle_ioctl(self, client):
        request = client.get_request() & 0xffffffff
        arg = client.get_arg()
        if self.gone:
            # As the kernel does for a device that has gone: what completed is still reaped, all else fails.
            if request in (USBDEVFS_REAPURB, USBDEVFS_REAPURBNDELAY) and self.pending:
                arg.resolve(0, 8).set_ptr(0, self.pending.pop(0))
                client.complete(0, 0)
            else:
                client.complete(-1, ENODEV)
            return True
        if request == USBDEVFS_GET_CAPABILITIES:
            arg.resolve(0, 4).update(0, struct.pack('<I', 0))
        elif request in (USBDEVFS_CLAIMINTERFACE, USBDEVFS_RELEASEINTERFACE, USBDEVFS_SETINTERFACE,
                         USBDEVFS_SETCONFIGURATION, USBDEVFS_CLEAR_HALT, USBDEVFS_RESET, USBDEVFS_DISCONNECT_CLAIM):
            pass
        elif request == USBDEVFS_DISCARDURB:
            self.discard(arg.resolve(0, URB_SIZE).client_addr)
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
                answer = string_descriptor(value & 0xFF, self.serial, self.product)[:wanted]
            buffer.update(8, answer)
            actual = len(answer)
        elif endpoint & 0x80:
            # Bulk IN: done when the device has data for it, or discarded when the caller's time is up.
            self.waiting_in.append((urb, buffer, length))
            self.deliver_in()
            client.complete(0, 0)
            return True
        else:
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

    def queue_in(self, data):
        self.in_data.append(bytes(data))
        self.deliver_in()

    def deliver_in(self):
        while self.waiting_in and self.in_data:
            urb, buffer, length = self.waiting_in.pop(0)
            data = self.in_data.pop(0)
            if len(data) > length:  # the rest waits for the next read
                self.in_data.insert(0, data[length:])
                data = data[:length]
            buffer.update(0, data)
            urb.update(4, struct.pack('<i', 0))
            urb.update(28, struct.pack('<i', len(data)))
            self.pending.append(urb)

    def discard(self, address):
        for index, (urb, _, _) in enumerate(self.waiting_in):
            if urb.client_addr == address:
                del self.waiting_in[index]
                urb.update(4, struct.pack('<i', -ENOENT))
                urb.update(28, struct.pack('<i', 0))
                self.pending.append(urb)
                return

    def disconnect(self):
        """Gone from the bus: reads still waiting end as the kernel ends them (ESHUTDOWN), later requests fail."""
        self.gone = True
        for urb, _, _ in self.waiting_in:
            urb.update(4, struct.pack('<i', -ESHUTDOWN))
            urb.update(28, struct.pack('<i', 0))
            self.pending.append(urb)
        self.waiting_in = []
        self.in_data = []

    def unplug(self):
        # The device stays in sysfs, but every request fails as for a device that has gone (ENODEV), opening
        # included, until it is plugged in again with a fresh bootloader.
        self.disconnect()
        replug = self.entry.get('replug-after')
        if replug is not None:
            GLib.timeout_add(int(replug * 1000), self.replug)

    def replug(self):
        again = dict(self.entry)
        again.pop('vanish-at-page', None)
        self.emulator = Bootloader(again, self.emulator.finished)
        self.pending = []
        self.gone = False
        return False


class UsbWorld:
    """The scenario's USB devices on a umockdev test bed, and the emulated readers that join it."""

    def __init__(self, entries):
        self.bed = UMockdev.Testbed.new()
        self.devices = []
        self.numbers = iter(range(2, 128))
        self.shown = {}  # serial -> (sysfs path, UsbDevice) on the bus for it now
        self.patterns = {}  # serial -> the scenario's entry for its bootloader
        self.server = None
        for entry in entries:
            self.patterns[entry['serial']] = entry
            self.shown[entry['serial']] = self.add(entry, Bootloader(entry))

    def add(self, entry, emulator, make_descriptors=descriptors):
        number = next(self.numbers)
        vid, pid = int(entry.get('vid', '2dff'), 16), int(entry.get('pid', 'b501'), 16)
        self.bed.add_from_string(record(number, vid, pid, entry['serial'], make_descriptors(vid, pid)))
        syspath = '/sys/devices/pci0000:00/0000:00:14.0/usb1/1-%d' % number
        device = UsbDevice(entry, emulator)
        self.bed.attach_ioctl('/dev/bus/usb/001/%03d' % number, device)
        self.devices.append(device)
        return syspath, device

    def listen(self, path):
        """Emulated readers connect here; their lines are read as the bed's main context runs."""
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(path)
        os.chmod(path, 0o600)
        self.server.listen(4)
        GLib.io_add_watch(self.server.fileno(), GLib.IO_IN, self.accept)

    def accept(self, fd, condition):
        connection, _ = self.server.accept()
        ReaderConnection(self, connection)
        return True

    def remove(self, serial):
        if serial in self.shown:
            syspath, device = self.shown.pop(serial)
            device.disconnect()
            self.bed.remove_device(syspath)

    def show_bridge(self, serial, vid, pid, connection):
        """An emulated Bridge's device: its bulk OUT messages go to the program that emulates it."""
        self.remove(serial)
        entry = {'serial': serial, 'vid': vid, 'pid': pid, 'product': 'Kelvo Bridge'}
        emulator = BridgeFunction(serial, connection)
        syspath, device = self.add(entry, emulator, bridge_descriptors)
        emulator.device = device
        self.shown[serial] = (syspath, device)
        return device

    def show(self, serial, generation, kind, answer):
        self.remove(serial)
        if kind == 'none':
            return
        ids = (READER_IDS if kind == 'reader' else BOOTLOADER_IDS)[generation]
        entry = {'serial': serial, 'generation': generation, 'vid': '%04x' % ids[0], 'pid': '%04x' % ids[1]}
        if kind == 'reader':
            emulator = ReaderFunction()
        else:
            entry = dict(entry, **self.patterns.get(serial, {}))
            emulator = Bootloader(entry, lambda report: GLib.timeout_add(RESTART_MS, answer, serial, report))
        # No uevent goes out (the bed's sender needs the preload in this process too): programs see a change when
        # they next scan the bus with a fresh libusb context, as the application's and kelvo-cli's polls do.
        self.shown[serial] = self.add(entry, emulator)


class BridgeFunction:
    """An emulated Bridge on the bus: the program emulating it gets each bulk OUT message and sends the answers."""

    def __init__(self, serial, connection):
        self.serial = serial
        self.connection = connection
        self.device = None

    def bulk_out(self, data):
        self.connection.send({'bridge': self.serial, 'out': bytes(data).hex()})
        return True


class ReaderConnection:
    """One program's emulated readers and Bridges: their lines in, their bootloaders' outcomes and the Bridges'
    bulk OUT messages out."""

    def __init__(self, world, connection):
        self.world = world
        self.connection = connection
        self.pending = b''
        self.plugs = {}  # Bridge serial -> its (vid, pid), for a replug
        GLib.io_add_watch(connection.fileno(), GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, self.readable)

    def readable(self, fd, condition):
        data = self.connection.recv(4096) if condition & GLib.IO_IN else b''
        if not data:
            self.connection.close()
            return False
        self.pending += data
        while b'\n' in self.pending:
            line, self.pending = self.pending.split(b'\n', 1)
            change = json.loads(line)
            if 'bridge' in change:
                self.bridge(change)
            else:
                self.world.show(change['serial'], change['generation'], change['show'], self.answer)
        return True

    def bridge(self, change):
        serial = change['bridge']
        if 'in' in change:
            shown = self.world.shown.get(serial)
            if shown:
                shown[1].queue_in(bytes.fromhex(change['in']))
        elif change.get('show') is True:
            self.plugs[serial] = (change['vid'], change['pid'])
            self.world.show_bridge(serial, change['vid'], change['pid'], self)
            self.send({'bridge': serial, 'plugged': True})
        elif change.get('show') is False:
            self.world.remove(serial)
        elif 'replug-after-ms' in change:
            self.world.remove(serial)
            vid, pid = self.plugs[serial]
            GLib.timeout_add(int(change['replug-after-ms']),
                             lambda: self.world.show_bridge(serial, vid, pid, self) and False)

    def send(self, message):
        try:
            self.connection.sendall((json.dumps(message) + '\n').encode())
        except OSError:
            pass  # the program has gone

    def answer(self, serial, report):
        outcome = {'serial': serial}
        if 'error' in report:
            outcome['error'] = report['error']
        elif report['generation'] == 2:
            outcome['installed'] = report['installed']
        self.send(outcome)
        return False
