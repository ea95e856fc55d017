# SPDX-License-Identifier: Apache-2.0
"""kelvo-driver as systemd runs it: it tells the notify socket READY=1 once its first look for readers is done
(the scenario's readers then have their sockets) and STOPPING=1 when told to stop; its standard error carries
syslog priorities and the chosen level; a second driver on the same runtime directory does not start."""
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

DRIVER = sys.argv.pop(1)
SCENARIO = {"devices": [
    {"family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
     "descriptor": {"Serial": "5123456789"}, "battery": 80},
]}
SOCKET_NAME = "omnivex#ipc#ver6#kelvo_001a7dda7113"


class DriverServiceTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.path = self.folder.name
        with open(os.path.join(self.path, "scenario.json"), "w") as scenario:
            json.dump(SCENARIO, scenario)
        self.environment = dict(os.environ, TREVALON_RUNTIME_DIR=os.path.join(self.path, "run"),
                                TREVALON_DATA_DIR=os.path.join(self.path, "data"),
                                TREVALON_SETTINGS_DIR=os.path.join(self.path, "settings"))
        self.environment.pop("KELVO_BLE_BACKEND", None)
        self.notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.notify_path = os.path.join(self.path, "notify")
        self.notify.bind(self.notify_path)
        self.notify.settimeout(20)
        self.processes = []

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.notify.close()
        self.folder.cleanup()

    def start(self, *arguments, notify=True):
        environment = dict(self.environment)
        if notify:
            environment["NOTIFY_SOCKET"] = self.notify_path
        process = subprocess.Popen([DRIVER, "--scenario", os.path.join(self.path, "scenario.json"), *arguments],
                                   env=environment, stderr=subprocess.PIPE, text=True)
        self.processes.append(process)
        return process

    def message(self):
        return self.notify.recv(4096).decode()

    def stop(self, process):
        process.send_signal(signal.SIGTERM)
        _, errors = process.communicate(timeout=20)
        return process.returncode, errors

    def test_ready_after_the_first_look_and_stopping_on_sigterm(self):
        process = self.start()
        self.assertEqual(self.message(), "READY=1")
        # Ready means served: the reader found in the first look has its socket already.
        self.assertTrue(os.path.exists(os.path.join(self.path, "run", SOCKET_NAME)))
        self.assertTrue(os.path.exists(os.path.join(self.path, "run", "kelvo-driver.pid")))
        status, errors = self.stop(process)
        self.assertEqual(self.message(), "STOPPING=1")
        self.assertEqual(status, 0, errors)
        lines = errors.splitlines()
        self.assertTrue(lines and all(line[:3] in ("<3>", "<4>", "<5>", "<6>") for line in lines), errors)
        self.assertTrue(any(line.startswith("<6>") and "reader 001a7dda7113 found" in line for line in lines), errors)

    def test_log_level_chooses_what_reaches_standard_error(self):
        for level, allowed in (("error", ("<3>", "<2>")), ("trace", None)):
            with self.subTest(level=level):
                process = self.start("--log-level", level, notify=False)
                deadline = time.monotonic() + 20
                while not os.path.exists(os.path.join(self.path, "run", SOCKET_NAME)):
                    self.assertLess(time.monotonic(), deadline)
                    time.sleep(0.05)
                status, errors = self.stop(process)
                self.assertEqual(status, 0, errors)
                lines = errors.splitlines()
                if allowed:
                    self.assertTrue(all(line[:3] in allowed for line in lines), errors)
                else:
                    self.assertTrue(any(line.startswith("<7>") for line in lines), errors)

    def test_wrong_options_and_a_second_driver_are_refused(self):
        for arguments, message in ((["--log-level", "loud"], "unknown log level 'loud'"),
                                   (["--poll-interval", "5"], "usage:"),
                                   (["stray"], "unexpected argument 'stray'")):
            with self.subTest(arguments=arguments):
                result = subprocess.run([DRIVER, *arguments], env=self.environment, capture_output=True, text=True,
                                        timeout=20)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, result.stderr)
        first = self.start()
        self.assertEqual(self.message(), "READY=1")
        second = self.start(notify=False)
        _, errors = second.communicate(timeout=20)
        self.assertEqual(second.returncode, 1)
        self.assertIn("another kelvo-driver runs", errors)
        # The first one still serves.
        self.assertTrue(os.path.exists(os.path.join(self.path, "run", SOCKET_NAME)))
        self.assertEqual(self.stop(first)[0], 0)

    def test_version(self):
        result = subprocess.run([DRIVER, "--version"], capture_output=True, text=True, timeout=20)
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout, r"^kelvo-driver \d+\.\d+\.\d+(\.\d+)?\n$")


if __name__ == "__main__":
    unittest.main()
