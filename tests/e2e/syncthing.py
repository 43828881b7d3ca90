"""Syncthing as the sync client of two computers on this machine: instances
with homes of their own, each sharing one folder with the other, driven
through Syncthing's REST interface. An instance is two processes: a monitor,
which this starts, and Syncthing proper, which the monitor starts and ends
when it ends (on SIGTERM too).

An instance talks to nothing but 127.0.0.1: its interface and its listener
are bound there, the other instance is reached at its address there, and
global and local discovery, relays, NAT traversal, usage and crash reports
and upgrades are off. sockets_beyond_loopback() tells what it holds
elsewhere, if anything. An instance ends with the process that started it
(the kernel sends the monitor SIGTERM then), and stop() ends it before that.
"""

import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET

from driver import Failure, check, wait_until

FOLDER = "appuntello"
PR_SET_PDEATHSIG = 1
# No proxy from the environment: every request goes straight to 127.0.0.1.
DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))
# What would reach beyond 127.0.0.1, or open a browser: off.
OFF = {
    "globalAnnounceEnabled": "false", "localAnnounceEnabled": "false", "relaysEnabled": "false",
    "natEnabled": "false", "urAccepted": "-1", "crashReportingEnabled": "false", "autoUpgradeIntervalH": "0",
    "startBrowser": "false", "announceLANAddresses": "false",
}


GIVEN_PORTS = set()


def free_port():
    """A port of 127.0.0.1 that nothing holds now and that no earlier call
    gave (the system may offer a port again once it is free)."""
    while True:
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        if port not in GIVEN_PORTS:
            GIVEN_PORTS.add(port)
            return port


def end_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Syncthing:
    def __init__(self, home, name):
        self.home, self.name = home, name
        self.process = None
        self.gui_port, self.listen_port = free_port(), free_port()
        self.address = f"tcp://127.0.0.1:{self.listen_port}"
        shutil.rmtree(home, ignore_errors=True)
        out = subprocess.run(["syncthing", "generate", "--home", home, "--no-default-folder", "--skip-port-probing"],
                             capture_output=True, text=True, timeout=60)
        found = re.search(r"Device ID: ([A-Z0-9-]+)", out.stdout + out.stderr)
        check(out.returncode == 0 and found, f"syncthing generate failed: {out.stdout}{out.stderr}")
        self.id = found.group(1)
        self.config_path = os.path.join(home, "config.xml")
        self.config = ET.parse(self.config_path)
        self.api_key = self.config.find("gui/apikey").text

    def share(self, folder, peer, rescan_seconds=5):
        """Shares the folder with the peer, whose address is given, and keeps
        this instance to 127.0.0.1."""
        root = self.config.getroot()
        root.find("gui").set("tls", "false")
        root.find("gui/address").text = f"127.0.0.1:{self.gui_port}"
        options = root.find("options")
        options.find("listenAddress").text = self.address
        for key, value in OFF.items():
            element = options.find(key)
            check(element is not None, f"syncthing's configuration has no option {key}")
            element.text = value

        # The defaults the configuration carries, made into the peer and the folder.
        device = ET.fromstring(ET.tostring(root.find("defaults/device")))
        device.set("id", peer.id)
        device.set("name", peer.name)
        device.find("address").text = peer.address
        root.insert(1, device)
        shared = ET.fromstring(ET.tostring(root.find("defaults/folder")))
        shared.attrib.update(id=FOLDER, label=FOLDER, path=folder, rescanIntervalS=str(rescan_seconds),
                             fsWatcherEnabled="true", fsWatcherDelayS="1")
        for old in shared.findall("device"):
            shared.remove(old)
        for member in (self.id, peer.id):
            shared.insert(1, ET.Element("device", id=member, introducedBy=""))
        root.insert(1, shared)
        self.config.write(self.config_path)
        os.makedirs(os.path.join(folder, ".stfolder"), exist_ok=True)

    def start(self, log):
        env = dict(os.environ, STNODEFAULTFOLDER="1", STNOUPGRADE="1", STNORESTART="1")
        with open(log, "wb") as out:
            self.process = subprocess.Popen(["syncthing", "serve", "--home", self.home, "--no-browser", "--no-restart",
                                             "--no-upgrade"], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                            env=env, preexec_fn=end_with_parent)
        wait_until(f"syncthing {self.name}'s REST interface", self.answers, 30, 0.2)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def answers(self):
        check(self.running(), f"syncthing {self.name} ended with {self.process.returncode}")
        try:
            return self.rest("GET", "/rest/system/ping").get("ping") == "pong"
        except OSError:
            return False

    def rest(self, method, path, body=None, timeout=30):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(f"http://127.0.0.1:{self.gui_port}{path}", data=data, method=method,
                                         headers={"X-API-Key": self.api_key, "Content-Type": "application/json"})
        with DIRECT.open(request, timeout=timeout) as response:
            text = response.read()
        return json.loads(text) if text.strip() else None

    def connected(self, peer):
        return self.rest("GET", "/rest/system/connections")["connections"].get(peer.id, {}).get("connected")

    def pause(self, paused):
        self.rest("PATCH", f"/rest/config/folders/{FOLDER}", {"paused": paused})

    def paused(self):
        return self.rest("GET", f"/rest/config/folders/{FOLDER}")["paused"]

    def in_sync_with(self, peer):
        """Idle, needing nothing, and knowing that the peer needs nothing either."""
        try:
            status = self.rest("GET", f"/rest/db/status?folder={FOLDER}")
            completion = self.rest("GET", f"/rest/db/completion?folder={FOLDER}&device={peer.id}")
        except urllib.error.HTTPError:
            return False  # a folder just resumed answers 404 for a moment
        return (status["state"] == "idle" and status["needTotalItems"] == 0 and status["pullErrors"] == 0
                and completion["completion"] == 100 and completion["needItems"] == 0)

    def pids(self):
        """The monitor's process and those it started."""
        pids = [self.process.pid]
        for pid in pids:  # grows as children are found
            try:
                for task in os.listdir(f"/proc/{pid}/task"):
                    with open(f"/proc/{pid}/task/{task}/children") as f:
                        pids += [int(child) for child in f.read().split()]
            except OSError:
                pass  # ended meanwhile
        return pids

    def sockets_beyond_loopback(self):
        """The TCP and UDP sockets of the instance, listening or not, that are
        bound to, or talk to, an address other than 127.0.0.1; checks that
        the instance holds some."""
        out = subprocess.run(["ss", "-Htuanp"], capture_output=True, text=True, timeout=30).stdout
        owners = tuple(f"pid={pid}," for pid in self.pids())
        mine = [line for line in out.splitlines() if any(owner in line for owner in owners)]
        check(mine, f"ss shows no socket of syncthing {self.name}")
        beyond = []
        for line in mine:
            local, peer = line.split()[4:6]
            if not local.startswith("127.0.0.1:") or not (peer.startswith("127.0.0.1:") or peer in ("0.0.0.0:*",
                                                                                                  "*:*")):
                beyond.append(line)
        return beyond

    def alive(self, pid):
        """Whether the process runs and is one of this instance's."""
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                return self.home.encode() in f.read()
        except OSError:
            return False

    def stop(self):
        """Ends the instance as its death would, by SIGTERM to the monitor;
        kills what still runs of it 10 s later."""
        if self.process is None:
            return
        pids = self.pids()
        self.process.terminate()
        try:
            wait_until(f"syncthing {self.name} to end", lambda: not any(self.alive(p) for p in pids), 10, 0.1)
        except Failure:
            for pid in reversed(pids):
                if self.alive(pid):
                    os.kill(pid, signal.SIGKILL)
        self.process.wait()
