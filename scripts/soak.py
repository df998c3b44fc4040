#!/usr/bin/env python3
"""Soak: runs `kiv serve` with the plug-in and drives a seeded random mix from
four clients for a while, with backend faults and latency switched on and off.

Each round is a busy phase (the clients run concurrently) and a quiet step:
faults cleared, the first summoner logged in again, the host idle. At the quiet
step the driver checks the world against every edit (no lost and no phantom
write), reads the plug-in's memory statistics, and runs the whole-book edits,
which touch every page and so cannot run next to the clients' own pages.

Fails (exit 1) on a sanitizer report, an undocumented status or error shape,
a lost or phantom write, or memory that grows from round to round.

    scripts/soak.py --kiv build/test/tools/kiv \
        --plugin build/test/src/collections/libkiv_collections.so --seconds 120 [--seed N]
"""

import argparse
import collections
import copy
import http.client
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# 504: the host gave up waiting for the plug-in (the edit's outcome is then
# uncertain, see outcome()).
DOCUMENTED = {200, 204, 400, 403, 404, 405, 409, 500, 503, 504}

SANITIZER = re.compile(r"ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error:|"
                       r"SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer")
RUNE_IDS = list(range(5001, 5121))
MASTERY_IDS = [7111, 7112, 7122, 7132, 7141, 7151, 7211, 7221, 7232, 7312, 7323, 7332, 7341, 7352]
FAULT_TARGETS = [
    "spellBookService.saveSpellBook", "spellBookService.getSpellBook",
    "spellBookService.selectDefaultSpellBookPage", "masteryBookService.saveMasteryBook",
    "masteryBookService.getMasteryBook", "summonerRuneService", "summonerIconService",
    "championMastery", "wardSkins", "/kiv-summoner/v1/summoners/{id}",
    "/kiv-game-data/assets/v1/summoner-spells.json",
]
CLIENTS = 4
MASTERY_PAGES_PER_CLIENT = 3  # four clients stay well inside the 20-page book


def fail_message(text):
    print("soak: FAIL: " + text, flush=True)


class Server:
    """kiv serve on a free port; stderr is watched for sanitizer reports."""

    def __init__(self, kiv, plugin, world_path):
        env = dict(os.environ)
        env.setdefault("ASAN_OPTIONS", "detect_leaks=1:halt_on_error=1")
        env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1")
        self.proc = subprocess.Popen(
            [kiv, "serve", "--plugin", plugin, "--world", world_path, "--port", "0", "--quiet"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace", env=env)
        self.stderr = []
        self.port = None
        ready = threading.Event()

        def read_out():
            for line in self.proc.stdout:
                m = re.search(r"serving on http://127\.0\.0\.1:(\d+)", line)
                if m and self.port is None:
                    self.port = int(m.group(1))
                    ready.set()
            ready.set()

        def read_err():
            for line in self.proc.stderr:
                self.stderr.append(line)
        threading.Thread(target=read_out, daemon=True).start()
        self.err_thread = threading.Thread(target=read_err, daemon=True)
        self.err_thread.start()
        ready.wait(120)
        if self.port is None:
            raise RuntimeError("kiv serve did not start:\n" + "".join(self.stderr[-40:]))

    def sanitizer_lines(self):
        return [l for l in self.stderr if SANITIZER.search(l)]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(60)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.err_thread.join(10)
        return self.proc.returncode


class Client:
    """One keep-alive connection; tallies every answer and checks its shape."""

    def __init__(self, port, stats):
        self.port = port
        self.stats = stats
        self.conn = None

    def request(self, method, path, body=None, route=None, content_type="application/json"):
        headers = {}
        data = None
        if body is not None:
            data = body if isinstance(body, (bytes, str)) else json.dumps(body)
            headers["Content-Type"] = content_type
        for attempt in range(2):
            try:
                if self.conn is None:
                    self.conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
                self.conn.request(method, path, body=data, headers=headers)
                resp = self.conn.getresponse()
                raw = resp.read()
                status = resp.status
                break
            except (OSError, http.client.HTTPException):
                if self.conn is not None:
                    self.conn.close()
                self.conn = None
                if attempt == 1:
                    self.stats.count(route or path, "no answer")
                    self.stats.violation("%s %s: no answer" % (method, path))
                    return None, None
        text = raw.decode("utf-8", "replace")
        self.stats.count(route or path, status)
        value = None
        if text:
            try:
                value = json.loads(text)
            except ValueError:
                self.stats.violation("%s %s: %d answer is not JSON: %.200s" % (method, path, status, text))
        if status >= 400:
            if status not in DOCUMENTED:
                self.stats.violation("%s %s: undocumented status %d: %.200s" % (method, path, status, text))
            if not (isinstance(value, dict) and set(value) == {"httpStatus", "message"}
                    and value["httpStatus"] == status and isinstance(value["message"], str) and value["message"]):
                self.stats.violation("%s %s: %d not in the error shape: %.200s" % (method, path, status, text))
        elif status not in (200, 204):
            self.stats.violation("%s %s: undocumented status %d" % (method, path, status))
        return status, value


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = collections.Counter()
        self.violations = []

    def count(self, route, status):
        with self.lock:
            self.counts[(route, status)] += 1

    def violation(self, text):
        with self.lock:
            if len(self.violations) < 200:
                self.violations.append(text)
            print("soak: violation: " + text, flush=True)


def soak_world():
    """The default world, with a second summoner that has enough pages to share out."""
    with open(os.path.join(ROOT, "worlds", "default.json")) as f:
        world = json.load(f)
    first, second = world["summoners"][0], world["summoners"][1]
    second["runePages"] = []
    for i, page in enumerate(first["runePages"][:8]):
        p = copy.deepcopy(page)
        p["pageId"] = 2201 + i
        p["current"] = i == 0
        second["runePages"].append(p)
    return world


class Book:
    """What the world must hold for one summoner's pages: for each page the set of
    names it may carry (more than one after an edit whose outcome is uncertain),
    and for each name given by an edit, its entries."""

    def __init__(self):
        self.lock = threading.Lock()
        self.rune = {}      # page id -> set of acceptable names
        self.mastery = {}   # page id -> set of acceptable names (None: absent)
        self.entries = {}   # name -> sorted entries the page must then hold
        self.pending_creates = set()  # names of creations whose outcome is uncertain
        self.history = collections.defaultdict(list)  # (kind, page id) -> what was done to it

    def note(self, kind, page, text):
        self.history[(kind, page)].append("%.3f %s" % (time.monotonic(), text))
        del self.history[(kind, page)][:-12]


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.stats = Stats()
        self.world = soak_world()
        self.summoners = [s["summonerId"] for s in self.world["summoners"]]
        self.books = {s: Book() for s in self.summoners}
        self.logged_in = self.summoners[0]
        self.session_lock = threading.Lock()
        self.name_counter = 0
        self.name_lock = threading.Lock()
        # client -> summoner -> owned rune page ids / mastery page ids
        self.rune_owned = {}
        self.mastery_owned = {c: {s: [] for s in self.summoners} for c in range(CLIENTS)}
        for s in self.world["summoners"]:
            ids = [p["pageId"] for p in s["runePages"]]
            book = self.books[s["summonerId"]]
            for p in s["runePages"]:
                book.rune[p["pageId"]] = {p["name"]}
            for p in s.get("masteryPages", []):
                book.mastery[p["pageId"]] = {p["name"]}
            for c in range(CLIENTS):
                self.rune_owned.setdefault(c, {})[s["summonerId"]] = ids[c::CLIENTS]
        self.memory = []
        self.session_events = collections.deque(maxlen=16)

    def unique_name(self, client):
        with self.name_lock:
            self.name_counter += 1
            return "soak c%d n%06d" % (client, self.name_counter)

    # ---- the busy phase ------------------------------------------------------

    def read_paths(self, rng, s):
        v1 = "/kiv-collections/v1/inventories/%d" % s
        return [
            (v1 + "/verification", "GET verification"), (v1 + "/rune-book", "GET rune-book"),
            (v1 + "/runes", "GET runes"), (v1 + "/mastery-book", "GET mastery-book"),
            (v1 + "/spells", "GET spells"), (v1 + "/summoner-icons", "GET summoner-icons"),
            ("/kiv-collections/v2/inventories/%d/summoner-icons/%d" % (s, rng.choice([744, 1402, 22, 4001, -1])),
             "GET summoner-icons/{id}"),
            (v1 + "/champion-mastery", "GET champion-mastery"),
            (v1 + "/champion-mastery/top?limit=%d&sortRule=%s" % (rng.randint(0, 5), rng.choice(["points", "level", ""])),
             "GET champion-mastery/top"),
            ("/kiv-collections/v1/inventories/chest-eligibility", "GET chest-eligibility"),
            (v1 + "/ward-skins", "GET ward-skins"),
            (v1 + "/ward-skins/%d" % rng.choice([1, 2, 3, 42, 999]), "GET ward-skins/{id}"),
            (v1 + "/backdrop", "GET backdrop"),
        ]

    def act_read(self, c, rng, client):
        s = rng.choice(self.summoners + [self.logged_in] * 4 + [0])
        path, route = rng.choice(self.read_paths(rng, s))
        client.request("GET", path, route=route)

    def outcome(self, status, value):
        """'done', 'not done' or 'uncertain' for an edit's answer."""
        if status in (200, 204):
            return "done"
        if status is None or status == 504:
            return "uncertain"
        return "not done"

    def act_rune_edit(self, c, rng, client):
        s = self.logged_in if rng.random() < 0.9 else rng.choice(self.summoners)
        page = rng.choice(self.rune_owned[c][s])
        book = self.books[s]
        name = self.unique_name(c)
        slots = sorted(rng.sample(range(1, 31), rng.randint(0, 30)))
        runes = [{"runeId": rng.choice(RUNE_IDS), "runeSlotId": k} for k in slots]
        path = "/kiv-collections/v1/inventories/%d/rune-book/pages/%d" % (s, page)
        body = {"id": page, "name": name, "current": False, "runes": runes}
        with book.lock:
            book.entries[name] = sorted((r["runeId"], r["runeSlotId"]) for r in runes)
        status, value = client.request("PUT", path, body, route="PUT rune-book/pages/{id}")
        result = self.outcome(status, value)
        with book.lock:
            book.note("rune", page, "c%d PUT %r: %s" % (c, name, status))
            if result == "done":
                book.rune[page] = {name}
            elif result == "uncertain":
                book.rune[page].add(name)

    def act_bad_body(self, c, rng, client):
        """Bodies and ids that must be refused without changing anything."""
        s = self.logged_in
        v1 = "/kiv-collections/v1/inventories/%d" % s
        page = rng.choice(self.rune_owned[c][s])
        name = self.unique_name(c)
        cases = [
            ("PUT", v1 + "/rune-book/pages/%d" % page, '{"id": %d, "name": "%s"' % (page, name), "application/json"),
            ("PUT", v1 + "/rune-book/pages/%d" % page, json.dumps([page, name]), "application/json"),
            ("PUT", v1 + "/rune-book/pages/%d" % page, json.dumps({"id": "x", "name": name}), "application/json"),
            ("PUT", v1 + "/rune-book/pages/%d" % page, json.dumps({"id": page, "name": name}), "text/plain"),
            ("PUT", v1 + "/rune-book/pages/%d" % page, json.dumps({"id": page + 1, "name": name}), "application/json"),
            ("PUT", v1 + "/rune-book/pages/99999", json.dumps({"id": 99999, "name": name}), "application/json"),
            ("PUT", v1 + "/rune-book/pages/abc", json.dumps({"id": page, "name": name}), "application/json"),
            ("PUT", v1 + "/rune-book/select-page/99999", None, None),
            ("PUT", v1 + "/mastery-book/pages", '{"name": "%s", "masteries": [{"id": ' % name, "application/json"),
            ("PUT", v1 + "/mastery-book/pages", json.dumps({"id": 99999, "name": name}), "application/json"),
            ("PUT", v1 + "/mastery-book/pages", json.dumps({"name": name, "masteries": "none"}), "application/json"),
            ("DELETE", v1 + "/mastery-book/pages/99999", None, None),
            ("PUT", v1 + "/rune-book", json.dumps({"summonerId": s, "pages": []}), "application/json"),
            ("PUT", v1 + "/verification", b"\xff\xfe\x00", "application/json"),
            ("POST", v1 + "/rune-book", json.dumps({}), "application/json"),
        ]
        method, path, body, ctype = rng.choice(cases)
        status, _ = client.request(method, path, body, route="bad request", content_type=ctype or "application/json")
        if status is not None and status < 400:
            self.stats.violation("%s %s with %.80r answered %d" % (method, path, body, status))

    def act_select(self, c, rng, client):
        s = self.logged_in
        page = rng.choice(self.rune_owned[c][s])
        client.request("PUT", "/kiv-collections/v1/inventories/%d/rune-book/select-page/%d" % (s, page),
                       route="PUT rune-book/select-page/{id}")

    def mastery_body(self, rng, page_id, name):
        masteries = [{"id": m, "rank": rng.randint(1, 5)} for m in rng.sample(MASTERY_IDS, rng.randint(0, 8))]
        return {"id": page_id, "name": name, "current": False, "masteries": masteries}

    def act_mastery(self, c, rng, client):
        s = self.logged_in if rng.random() < 0.9 else rng.choice(self.summoners)
        book = self.books[s]
        owned = self.mastery_owned[c][s]
        v1 = "/kiv-collections/v1/inventories/%d" % s
        choice = rng.random()
        if not owned or (choice < 0.4 and len(owned) < MASTERY_PAGES_PER_CLIENT):
            name = self.unique_name(c)
            body = self.mastery_body(rng, 0, name)
            with book.lock:
                book.entries[name] = sorted((m["id"], m["rank"]) for m in body["masteries"])
            status, value = client.request("PUT", v1 + "/mastery-book/pages", body, route="PUT mastery-book/pages (create)")
            result = self.outcome(status, value)
            with book.lock:
                if isinstance(value, dict) and value.get("id"):
                    book.note("mastery", value["id"], "c%d create %r: %s" % (c, name, status))
                if result == "done" and isinstance(value, dict) and value.get("id"):
                    book.mastery[value["id"]] = {name}
                    owned.append(value["id"])
                elif result != "not done":
                    book.pending_creates.add(name)
        elif choice < 0.75:
            page = rng.choice(owned)
            name = self.unique_name(c)
            body = self.mastery_body(rng, page, name)
            with book.lock:
                book.entries[name] = sorted((m["id"], m["rank"]) for m in body["masteries"])
            status, value = client.request("PUT", v1 + "/mastery-book/pages", body, route="PUT mastery-book/pages (replace)")
            self.check_owned(status, value, s, page, "replace")
            result = self.outcome(status, value)
            with book.lock:
                book.note("mastery", page, "c%d replace %r: %s" % (c, name, status))
                if result == "done":
                    book.mastery[page] = {name}
                elif result == "uncertain":
                    book.mastery[page].add(name)
        else:
            page = rng.choice(owned)
            status, value = client.request("DELETE", v1 + "/mastery-book/pages/%d" % page,
                                           route="DELETE mastery-book/pages/{id}")
            self.check_owned(status, value, s, page, "delete")
            result = self.outcome(status, value)
            with book.lock:
                book.note("mastery", page, "c%d delete: %s" % (c, status))
                if result == "done":
                    book.mastery[page] = {None}
                    owned.remove(page)
                elif result == "uncertain":
                    book.mastery[page].add(None)

    def check_owned(self, status, value, s, page, what):
        if status == 404 and s == self.logged_in:
            self.stats.violation("%s of mastery page %d of summoner %d, created by this client: %s"
                                 % (what, page, s, value))

    def act_fault(self, c, rng, client):
        if rng.random() < 0.3:
            client.request("DELETE", "/sim/faults", route="DELETE /sim/faults")
            return
        body = {"target": rng.choice(FAULT_TARGETS), "times": rng.choice([1, 1, 2, 3, -1]),
                "status": rng.choice([500, 503, 404])}
        client.request("POST", "/sim/faults", body, route="POST /sim/faults")

    def act_latency(self, c, rng, client):
        client.request("POST", "/sim/latency", {"serviceProxyMs": rng.choice([0, 0, 5, 20, 80, 150])},
                       route="POST /sim/latency")

    def act_config(self, c, rng, client):
        body = rng.choice([
            {"namespace": "ChampionMasteryConfig", "key": "Enabled", "value": rng.random() < 0.6},
            {"namespace": "ChampionMasteryConfig", "key": "MaxChampionLevel", "value": rng.choice([5, 7])},
        ])
        client.request("POST", "/sim/platform-config", body, route="POST /sim/platform-config")

    def act_grant(self, c, rng, client):
        kind = rng.choice(["WARD_SKIN", "RUNE", "SUMMONER_ICON"])
        item = {"WARD_SKIN": rng.choice([1, 2, 3, 4]), "RUNE": rng.choice([5001, 5002, 5013]),
                "SUMMONER_ICON": rng.choice([744, 4001, 4002])}[kind]
        body = {"inventoryType": kind, "itemId": item, "rental": rng.random() < 0.3}
        if kind == "RUNE":
            body["quantity"] = 1
        # 400 comes back while nobody is logged in.
        client.request("POST", "/sim/grant", body, route="POST /sim/grant")

    def act_push(self, c, rng, client):
        kind = rng.random()
        if kind < 0.35:
            client.request("POST", "/sim/champion-mastery",
                           {"championId": rng.choice([42, 17, 8]), "championLevel": rng.randint(1, 7),
                            "championPoints": rng.randint(0, 90000)}, route="POST /sim/champion-mastery")
        elif kind < 0.6:
            client.request("POST", "/sim/chest-eligibility", {"earnableChests": rng.randint(0, 4)},
                           route="POST /sim/chest-eligibility")
        elif kind < 0.8:
            client.request("POST", "/sim/push", {
                "className": "com.quarngames.platform.messaging.persistence.SimpleDialogMessage",
                "body": {"type": rng.choice(["championMastery", "championMasteryLootGrant", "other"]),
                         "params": rng.choice([[], ["{}"], ["not json"],
                                               [json.dumps({"gameId": 1, "championLevel": 3,
                                                            "playerId": self.logged_in, "championId": 42})]])}},
                route="POST /sim/push")
        elif rng.random() < 0.5:
            client.request("POST", "/sim/push", {
                "className": "com.quarngames.platform.messaging.StoreFulfillmentNotification",
                "body": {"inventoryType": "SPELL_BOOK_PAGE",
                         "data": {"inventoryType": "SPELL_BOOK_PAGE", "itemId": 1}}}, route="POST /sim/push")
        else:
            client.request("POST", "/sim/push", {
                "className": "com.quarngames.platform.messaging.RentalUpdateNotification",
                "body": {"inventoryType": rng.choice(["RUNE", "WARD_SKIN", "UNKNOWN"]),
                         "data": {"inventoryType": "RUNE", "itemId": 5001}}}, route="POST /sim/push")

    def act_session(self, c, rng, client):
        """Logins and logouts of the two summoners, and lost connections."""
        choice = rng.random()
        with self.session_lock:
            if choice < 0.3:
                what = "logout"
                status, _ = client.request("POST", "/sim/logout", route="POST /sim/logout")
            elif choice < 0.7:
                s = rng.choice(self.summoners)
                what = "login %d" % s
                status, _ = client.request("POST", "/sim/login", {"summonerId": s}, route="POST /sim/login")
                if status == 204:
                    self.logged_in = s
            elif choice < 0.85:
                what = "disconnect"
                status, _ = client.request("POST", "/sim/disconnect", route="POST /sim/disconnect")
            else:
                what = "reconnect"
                status, _ = client.request("POST", "/sim/reconnect", route="POST /sim/reconnect")
            self.session_events.append("%.3f %s: %s" % (time.monotonic(), what, status))

    def run_client(self, c, seed, until):
        rng = random.Random(seed)
        client = Client(self.port, self.stats)
        actions = [(self.act_read, 40), (self.act_rune_edit, 14), (self.act_select, 4), (self.act_mastery, 14),
                   (self.act_bad_body, 6), (self.act_fault, 4), (self.act_latency, 2), (self.act_config, 2),
                   (self.act_grant, 3), (self.act_push, 3)]
        if c == 0:
            actions.append((self.act_session, 3))
        funcs = [a for a, _ in actions]
        weights = [w for _, w in actions]
        while time.monotonic() < until:
            rng.choices(funcs, weights)[0](c, rng, client)
        if client.conn:
            client.conn.close()

    # ---- the quiet step --------------------------------------------------------

    def wait_idle(self, client):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            _, st = client.request("GET", "/sim/status", route="GET /sim/status")
            if isinstance(st, dict) and not st.get("waitingFor") and st.get("queuedWork") == 0:
                return True
            time.sleep(0.02)
        self.stats.violation("the host did not go idle within 30 s")
        return False

    def settle(self, client):
        """Faults cleared, no latency, the first summoner logged in again, idle."""
        client.request("DELETE", "/sim/faults", route="DELETE /sim/faults")
        client.request("POST", "/sim/latency", {"serviceProxyMs": 0}, route="POST /sim/latency")
        client.request("POST", "/sim/platform-config",
                       {"namespace": "ChampionMasteryConfig", "key": "Enabled", "value": True},
                       route="POST /sim/platform-config")
        client.request("POST", "/sim/platform-config",
                       {"namespace": "ChampionMasteryConfig", "key": "MaxChampionLevel", "value": 7},
                       route="POST /sim/platform-config")
        client.request("POST", "/sim/logout", route="POST /sim/logout")
        self.wait_idle(client)
        client.request("POST", "/sim/login", {"summonerId": self.summoners[0]}, route="POST /sim/login")
        self.logged_in = self.summoners[0]
        self.wait_idle(client)

    def check_world(self, client, round_no):
        _, world = client.request("GET", "/sim/world", route="GET /sim/world")
        if not isinstance(world, dict):
            self.stats.violation("round %d: GET /sim/world gave no world" % round_no)
            return
        for s in world.get("summoners", []):
            sid = s["summonerId"]
            book = self.books.get(sid)
            if book is None:
                continue
            with book.lock:
                self.check_rune_pages(sid, book, s.get("runePages", []), round_no)
                self.check_mastery_pages(sid, book, s.get("masteryPages", []), round_no)

    def check_rune_pages(self, sid, book, pages, round_no):
        by_id = {p["pageId"]: p for p in pages}
        if set(by_id) != set(book.rune):
            self.stats.violation("round %d: summoner %d rune pages %s, expected %s"
                                 % (round_no, sid, sorted(by_id), sorted(book.rune)))
        if sum(1 for p in pages if p.get("current")) > 1:
            self.stats.violation("round %d: summoner %d has more than one current rune page" % (round_no, sid))
        for pid, names in book.rune.items():
            p = by_id.get(pid)
            if p is None:
                continue
            if p["name"] not in names:
                self.stats.violation("round %d: summoner %d rune page %d is named %r, expected one of %s (%s write); "
                                     "history: %s" % (round_no, sid, pid, p["name"], sorted(names),
                                                      "phantom" if p["name"] in book.entries else "lost",
                                                      "; ".join(book.history[("rune", pid)]) + "; session: " +
                                                      "; ".join(self.session_events)))
            elif p["name"] in book.entries:
                got = sorted((e["runeId"], e["runeSlotId"]) for e in p.get("slotEntries", []))
                if got != book.entries[p["name"]]:
                    self.stats.violation("round %d: summoner %d rune page %d (%r) holds other runes than saved"
                                         % (round_no, sid, pid, p["name"]))
            book.rune[pid] = {p["name"]}

    def check_mastery_pages(self, sid, book, pages, round_no):
        by_id = {p["pageId"]: p for p in pages}
        if sum(1 for p in pages if p.get("current")) > 1:
            self.stats.violation("round %d: summoner %d has more than one current mastery page" % (round_no, sid))
        for pid, names in list(book.mastery.items()):
            p = by_id.get(pid)
            name = p["name"] if p else None
            if name not in names:
                self.stats.violation("round %d: summoner %d mastery page %d is %s, expected %s; history: %s"
                                     % (round_no, sid, pid, repr(name) if p else "missing",
                                        sorted(n or "missing" for n in names),
                                        "; ".join(book.history[("mastery", pid)]) + "; session: " +
                                        "; ".join(self.session_events)))
            elif p is not None and name in book.entries:
                got = sorted((e["talentId"], e["rank"]) for e in p.get("talentEntries", []))
                if got != book.entries[name]:
                    self.stats.violation("round %d: summoner %d mastery page %d (%r) holds other masteries than saved"
                                         % (round_no, sid, pid, name))
            if p is None:
                del book.mastery[pid]
            else:
                book.mastery[pid] = {name}
        for pid, p in by_id.items():
            if pid in book.mastery:
                continue
            if p["name"] in book.pending_creates:
                # A creation that answered uncertainly did happen: its client owns it now.
                book.pending_creates.discard(p["name"])
                book.mastery[pid] = {p["name"]}
                owner = int(p["name"].split()[1][1:])
                self.mastery_owned[owner][sid].append(pid)
            else:
                self.stats.violation("round %d: summoner %d holds mastery page %d %r that no edit created"
                                     % (round_no, sid, pid, p["name"]))
                book.mastery[pid] = {p["name"]}
        book.pending_creates.clear()

    def read_memory(self, client, round_no):
        _, mem = client.request("GET", "/sim/memory", route="GET /sim/memory")
        if isinstance(mem, dict):
            live = mem["bytesAllocated"] - mem["bytesFreed"]
            self.memory.append((round_no, live, mem["allocations"] - mem["frees"]))

    def quiet_edits(self, client, rng, round_no):
        """Whole-book edits and the verification code, each checked against the world at once."""
        s = self.summoners[0]
        v1 = "/kiv-collections/v1/inventories/%d" % s
        book = self.books[s]
        # Every route answers for the logged-in summoner with no faults in force.
        for path, route in self.read_paths(random.Random(1), s):
            if "{id}" in route:
                continue
            status, _ = client.request("GET", path, route=route)
            if status != 200:
                self.stats.violation("round %d: with no faults %s answered %s" % (round_no, path, status))
        _, rune_book = client.request("GET", v1 + "/rune-book", route="GET rune-book")
        if isinstance(rune_book, dict) and rune_book.get("pages"):
            body = copy.deepcopy(rune_book)
            for p in body["pages"]:
                p["name"] = self.unique_name(9)
            if rng.random() < 0.5:
                # Two current pages: refused, nothing changes.
                bad = copy.deepcopy(body)
                for p in bad["pages"][:2]:
                    p["current"] = True
                status, _ = client.request("PUT", v1 + "/rune-book", bad, route="PUT rune-book")
                if status != 409:
                    self.stats.violation("round %d: a rune book with two current pages answered %s" % (round_no, status))
            body.pop("summonerId", None)
            status, _ = client.request("PUT", v1 + "/rune-book", body, route="PUT rune-book")
            with book.lock:
                for p in body["pages"]:
                    book.entries[p["name"]] = sorted((r["runeId"], r["runeSlotId"]) for r in p["runes"])
                    if status == 200:
                        book.rune[p["id"]] = {p["name"]}
            if status != 200:
                self.stats.violation("round %d: PUT rune-book of the book just read answered %s" % (round_no, status))
        code = "soak code %d" % round_no
        status, _ = client.request("PUT", v1 + "/verification", json.dumps(code), route="PUT verification")
        if status not in (200, 204):
            self.stats.violation("round %d: PUT verification answered %s" % (round_no, status))
        self.wait_idle(client)
        _, world = client.request("GET", "/sim/world", route="GET /sim/world")
        me = next(x for x in world["summoners"] if x["summonerId"] == s)
        current = [p for p in me["runePages"] if p.get("current")] or me["runePages"][:1]
        if current and current[0]["name"] != code:
            self.stats.violation("round %d: the verification code is not the current page's name in the world" % round_no)
        with book.lock:
            for p in me["runePages"]:
                book.rune[p["pageId"]] = {p["name"]}
        _, read = client.request("GET", v1 + "/verification", route="GET verification")
        if read != code:
            self.stats.violation("round %d: GET verification answered %r after PUT %r" % (round_no, read, code))
        _, mastery = client.request("GET", v1 + "/mastery-book", route="GET mastery-book")
        if isinstance(mastery, dict) and mastery.get("pages"):
            body = copy.deepcopy(mastery)
            for p in body["pages"]:
                p["name"] = self.unique_name(9)
            status, _ = client.request("PUT", v1 + "/mastery-book", body, route="PUT mastery-book")
            if status != 200:
                self.stats.violation("round %d: PUT mastery-book of the book just read answered %s" % (round_no, status))
            with book.lock:
                for p in body["pages"]:
                    book.entries[p["name"]] = sorted((m["id"], m["rank"]) for m in p["masteries"])
                    if status == 200 and p["id"] in book.mastery:
                        book.mastery[p["id"]] = {p["name"]}
        status, _ = client.request("PUT", v1 + "/mastery-book", {"summonerId": s, "pages": []},
                                   route="PUT mastery-book")
        if status in (200, 204):
            self.stats.violation("round %d: PUT mastery-book with no pages answered %d" % (round_no, status))
        self.wait_idle(client)
        self.check_world(client, round_no)

    # ---- the run -------------------------------------------------------------

    def run(self):
        fd, world_path = tempfile.mkstemp(prefix="kiv-soak-world-", suffix=".json")
        with os.fdopen(fd, "w") as f:
            json.dump(self.world, f)
        print("soak: seed %d, %d s, %d clients, rounds of %.1f s" % (self.args.seed, self.args.seconds, CLIENTS,
                                                                    self.args.round_seconds), flush=True)
        server = Server(self.args.kiv, self.args.plugin, world_path)
        self.port = server.port
        control = Client(self.port, self.stats)
        start = time.monotonic()
        end = start + self.args.seconds
        round_no = 0
        try:
            self.settle(control)
            self.read_memory(control, 0)
            while time.monotonic() < end and server.proc.poll() is None:
                round_no += 1
                until = min(end, time.monotonic() + self.args.round_seconds)
                threads = [threading.Thread(target=self.run_client,
                                            args=(c, self.rng.getrandbits(32), until)) for c in range(CLIENTS)]
                for t in threads:
                    t.start()
                for t in threads:
                    t.join()
                self.settle(control)
                self.check_world(control, round_no)
                self.read_memory(control, round_no)
                self.quiet_edits(control, self.rng, round_no)
                if server.sanitizer_lines():
                    break
        finally:
            elapsed = time.monotonic() - start
            alive = server.proc.poll() is None
            rc = server.stop()
            os.unlink(world_path)
        if not alive:
            self.stats.violation("kiv serve exited during the soak (status %s)" % rc)
        return self.report(server, elapsed, round_no)

    def memory_grew(self):
        """Live bytes and allocations after the warm-up rounds stay within the
        warm-up's highest reading plus a tolerance."""
        warm = max(2, len(self.memory) // 4)
        if len(self.memory) <= warm + 1:
            return None
        base_bytes = max(b for _, b, _ in self.memory[:warm + 1])
        base_allocs = max(a for _, _, a in self.memory[:warm + 1])
        tol_bytes = max(64 * 1024, base_bytes // 20)
        tol_allocs = max(200, base_allocs // 20)
        for r, b, a in self.memory[warm + 1:]:
            if b > base_bytes + tol_bytes or a > base_allocs + tol_allocs:
                return ("round %d: %d live bytes in %d allocations; after warm-up at most %d bytes in %d "
                        "(+%d bytes, +%d allocations tolerated)" % (r, b, a, base_bytes, base_allocs, tol_bytes,
                                                                   tol_allocs))
        return None

    def report(self, server, elapsed, rounds):
        total = sum(self.stats.counts.values())
        print("\nsoak: seed %d: %d requests in %.1f s (%.0f/s), %d rounds" % (self.args.seed, total, elapsed,
                                                                             total / max(elapsed, 1e-9), rounds))
        routes = collections.defaultdict(dict)
        for (route, status), n in self.stats.counts.items():
            routes[route][status] = n
        for route in sorted(routes):
            text = "  ".join("%s:%d" % (st, n) for st, n in sorted(routes[route].items(), key=lambda x: str(x[0])))
            print("  %-40s %s" % (route, text))
        by_status = collections.Counter()
        for (_, status), n in self.stats.counts.items():
            by_status[status] += n
        print("  %-40s %s" % ("all", "  ".join("%s:%d" % (s, n) for s, n in
                                                sorted(by_status.items(), key=lambda x: str(x[0])))))
        if self.memory:
            print("soak: memory (live bytes / live allocations) by round: " +
                  ", ".join("%d:%d/%d" % m for m in self.memory))
            print("soak: memory at start %d bytes, at end %d bytes" % (self.memory[0][1], self.memory[-1][1]))
        failed = False
        sanitizer = server.sanitizer_lines()
        if sanitizer:
            fail_message("sanitizer report:\n" + "".join(server.stderr[-80:]))
            failed = True
        grew = self.memory_grew()
        if grew:
            fail_message("memory grows: " + grew)
            failed = True
        if self.stats.violations:
            fail_message("%d violations, first: %s" % (len(self.stats.violations), self.stats.violations[0]))
            failed = True
        print("soak: %s (seed %d)" % ("FAILED" if failed else "passed", self.args.seed))
        return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kiv", required=True)
    parser.add_argument("--plugin", required=True)
    parser.add_argument("--seconds", type=float, default=float(os.environ.get("SOAK_S", 120)))
    parser.add_argument("--seed", type=int, default=int(os.environ.get("SOAK_SEED", 0)) or None)
    parser.add_argument("--round-seconds", type=float, default=4.0)
    args = parser.parse_args()
    if args.seed is None:
        args.seed = random.SystemRandom().randrange(1, 2 ** 31)
    sys.exit(Soak(args).run())


if __name__ == "__main__":
    main()
