#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""An update server for the firmware updater's tests.

  update_server.py fixtures DIR --release-tool PATH --key KEY.pem
      writes a test certificate authority, a server certificate for 127.0.0.1 and localhost signed by it, firmware
      packages (one good, one with a byte changed, one with a "../" entry, one with a symbolic link) and one feed per
      case under DIR/www/<case>/firmware/kelvo-firmware.xml, signed with KEY.pem through the release tool.
  update_server.py serve DIR
      serves DIR/www over HTTPS on a free port of 127.0.0.1 and prints the port on a line of its own. /loop/...
      redirects to itself; files under /slow/ are sent a little at a time.
"""

import hashlib
import http.server
import os
import ssl
import stat
import subprocess
import sys
import threading
import time
import zipfile

DESCRIPTOR = ('<firmware version="2"><name>Kelvo firmware</name><version>2.0.0</version>'
              '<description>Faster pairing</description><date>01.02.2026 10:30</date>'
              '<serial>K2.*</serial><method>ble</method></firmware>')
# Random-looking, so that the package is as large as the image and its download takes several reads.
IMAGE = b''.join(hashlib.sha256(bytes([index])).digest() for index in range(256)) * 4


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    ca_key, ca = os.path.join(folder, 'ca.key'), os.path.join(folder, 'ca.pem')
    run('openssl', 'req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes',
        '-keyout', ca_key, '-out', ca, '-days', '2', '-subj', '/CN=Kelvo test update CA')
    key, request, cert = (os.path.join(folder, name) for name in ('server.key', 'server.csr', 'server.pem'))
    run('openssl', 'req', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes', '-keyout', key,
        '-out', request, '-subj', '/CN=localhost')
    extensions = os.path.join(folder, 'server.ext')
    with open(extensions, 'w') as file:
        file.write('subjectAltName=IP:127.0.0.1,DNS:localhost\n')
    run('openssl', 'x509', '-req', '-in', request, '-CA', ca, '-CAkey', ca_key, '-CAcreateserial', '-out', cert,
        '-days', '2', '-extfile', extensions)


def write_zip(path, entries):
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as archive:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name, date_time=(2026, 2, 1, 10, 30, 0))
            info.create_system = 3
            info.external_attr = mode << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)


def make_packages(folder):
    regular = stat.S_IFREG | 0o644
    good = [('k2-200/k2-200.xml', DESCRIPTOR, regular), ('k2-200/k2-200.bin', IMAGE, regular)]
    write_zip(os.path.join(folder, 'good.zip'), good)
    with open(os.path.join(folder, 'good.zip'), 'rb') as file:
        data = bytearray(file.read())
    data[len(data) // 2] ^= 0x01
    with open(os.path.join(folder, 'tampered.zip'), 'wb') as file:
        file.write(data)
    write_zip(os.path.join(folder, 'traversal.zip'), good + [('../escaped.txt', 'outside', regular)])
    write_zip(os.path.join(folder, 'link.zip'), good + [('k2-200/passwd', '/etc/passwd', stat.S_IFLNK | 0o777)])


def item(tool, key, version, package, url, extra=()):
    return subprocess.run([tool, 'item', '--key', key, '--version', version, '--url', url,
                           '--notes', 'Firmware %s: faster pairing' % version, *extra, package],
                          check=True, capture_output=True, text=True).stdout


def write_feed(tool, www, case, items):
    folder = os.path.join(www, case, 'firmware')
    os.makedirs(folder, exist_ok=True)
    parts = []
    for index, text in enumerate(items):
        part = os.path.join(folder, 'item%d.xml' % index)
        with open(part, 'w') as file:
            file.write(text)
        parts.append(part)
    feed = subprocess.run([tool, 'feed', *parts], check=True, capture_output=True, text=True).stdout
    with open(os.path.join(folder, 'kelvo-firmware.xml'), 'w') as file:
        file.write(feed)


def fixtures(folder, tool, key):
    www = os.path.join(folder, 'www')
    packages = os.path.join(www, 'packages')
    os.makedirs(packages, exist_ok=True)
    make_certificates(folder)
    make_packages(packages)
    os.makedirs(os.path.join(www, 'slow'), exist_ok=True)
    os.link(os.path.join(packages, 'good.zip'), os.path.join(www, 'slow', 'good.zip'))

    def package(name):
        return os.path.join(packages, name)

    write_feed(tool, www, 'newer', [
        item(tool, key, '1.5.0', package('good.zip'), '../../packages/good.zip'),
        item(tool, key, '2.0.0', package('good.zip'), '../../packages/good.zip', ('--short-version', '2.0')),
        item(tool, key, '1.9.9', package('good.zip'), '../../packages/good.zip')])
    tampered = item(tool, key, '2.0.0', package('good.zip'), '../../packages/tampered.zip')
    write_feed(tool, www, 'tampered', [tampered])
    write_feed(tool, www, 'traversal', [item(tool, key, '2.0.0', package('traversal.zip'),
                                             '../../packages/traversal.zip')])
    write_feed(tool, www, 'link', [item(tool, key, '2.0.0', package('link.zip'), '../../packages/link.zip')])
    write_feed(tool, www, 'current', [item(tool, key, '1.0.0', package('good.zip'), '../../packages/good.zip')])
    write_feed(tool, www, 'slow', [item(tool, key, '2.0.0', package('good.zip'), '../../slow/good.zip')])
    short = item(tool, key, '2.0.0', package('good.zip'), '../../packages/good.zip')
    write_feed(tool, www, 'short', [short.replace('length="%d"' % os.path.getsize(package('good.zip')),
                                                  'length="100"')])


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.startswith('/loop/'):
            self.send_response(302)
            self.send_header('Location', self.path)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        if self.path.startswith('/slow/'):
            self.send_slowly()
            return
        super().do_GET()

    def send_slowly(self):
        path = self.translate_path(self.path)
        with open(path, 'rb') as file:
            data = file.read()
        self.send_response(200)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        try:
            for start in range(0, len(data), 1024):
                self.wfile.write(data[start:start + 1024])
                self.wfile.flush()
                time.sleep(0.5)
        except OSError:
            pass


def serve(folder):
    handler = lambda *args, **kwargs: Handler(*args, directory=os.path.join(folder, 'www'), **kwargs)
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, 'server.pem'), os.path.join(folder, 'server.key'))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), server.shutdown()), daemon=True).start()
    server.serve_forever()


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == 'serve':
        serve(sys.argv[2])
    elif len(sys.argv) == 7 and sys.argv[1] == 'fixtures':
        fixtures(sys.argv[2], sys.argv[sys.argv.index('--release-tool') + 1], sys.argv[sys.argv.index('--key') + 1])
    else:
        sys.stderr.write(__doc__)
        sys.exit(2)


if __name__ == '__main__':
    main()
