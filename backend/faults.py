"""Fault rules: which requests get which misbehaviour.

A rule is a JSON object. Matching members (all optional):
    path      prefix of the request path (exact with "exact": true); a path
              holding "?" is compared with the path and query together
    method    "GET", "HEAD", "POST"
    listener  the address the request arrived on, e.g. "127.0.0.2"
    skip      let this many matching requests through first
    times     apply to this many matching requests, then expire
and one "action" with its parameters (see ACTIONS). Every matching rule
applies to a request (a 404 and a pace can combine); of the rules that
decide the whole answer (status, respond, close, redirect) the first wins.
"""

import copy
import threading

# Upper bound of any stall, so a forgotten rule cannot hold a test forever.
MAX_STALL_SECONDS = 60.0
MAX_DRIP_INTERVAL = 10.0
MAX_CHUNK = 1 << 20

# action -> {parameter: (type check, default)}; None default means required
# or absent.
ACTIONS = {
    "status": {"status": (int, 500), "body": (str, None), "json": (object, None)},
    "respond": {"status": (int, 200), "body": (str, None), "json": (object, None), "headers": (dict, None)},
    "close": {},
    "drop": {"after_bytes": (int, 0), "count": (str, "body")},
    "stall": {"seconds": ((int, float), 5.0), "after_bytes": (int, None), "then": (str, "serve")},
    "redirect": {"location": (str, None), "status": (int, 302)},
    "bad_md5": {"offset": (int, None)},
    "ignore_range": {},
    "wrong_range": {"shift": (int, 1)},
    "extra_bytes": {"count": (int, 16)},
    "no_content_length": {},
    "chunked": {"chunk_size": (int, 4096)},
    "garbage_json": {"body": (str, '{"code": 0, "data": "')},
    "code": {"value": (object, "0")},
    "tamper": {"mode": (str, "payload")},
    "payload": {"payload": (object, None), "payload_text": (str, None)},
    "pace": {"bytes_per_second": (int, None)},
    # One byte of the response (status line first) every "interval" seconds:
    # a client's every receive waits, none ever reaches a time limit longer
    # than the interval. Cut after MAX_STALL_SECONDS.
    "drip": {"interval": ((int, float), 1.0)},
    "headers": {"set": (dict, None), "remove": (list, None)},
    # The signed release statement served in the package record and as
    # "<file>.sig" (the rule's path picks which): see RELEASE_MODES.
    "release": {"mode": (str, "forged"), "version": (str, "0.0.0.1"), "product": (str, "tovren")},
}

# What a "release" fault serves instead of the genuine signed release.
RELEASE_MODES = (
    "missing",        # no statement at all (record without it, .sig 404)
    "forged",         # the genuine statement signed by a key no installer pins
    "expired",        # validity ended ten days ago
    "older",          # a genuine signature on an older "version" (a rollback)
    "other_bytes",    # a genuine signature naming other bytes of the same size
    "wrong_size",     # a genuine signature naming one byte more
    "other_product",  # a genuine signature for another "product"
    "malformed",      # a line the format does not know, signed all the same
)

TERMINAL = ("status", "respond", "close", "redirect")
_MATCH_KEYS = ("path", "exact", "method", "listener", "skip", "times", "action")


class FaultError(ValueError):
    pass


def validate(rule):
    """Checks one rule and returns a normalised copy with defaults filled."""
    if not isinstance(rule, dict):
        raise FaultError("a fault rule must be a JSON object")
    action = rule.get("action")
    if action not in ACTIONS:
        raise FaultError("unknown action %r (one of %s)" % (action, ", ".join(sorted(ACTIONS))))
    params = ACTIONS[action]
    for key in rule:
        if key not in _MATCH_KEYS and key not in params:
            raise FaultError("action %r has no parameter %r" % (action, key))
    out = {"action": action}
    for key in ("path", "method", "listener"):
        if key in rule:
            if not isinstance(rule[key], str):
                raise FaultError("%r must be a string" % key)
            out[key] = rule[key].upper() if key == "method" else rule[key]
    out["exact"] = bool(rule.get("exact", False))
    for key in ("skip", "times"):
        if key in rule and rule[key] is not None:
            if not isinstance(rule[key], int) or isinstance(rule[key], bool) or rule[key] < 0:
                raise FaultError("%r must be a non-negative integer" % key)
            out[key] = rule[key]
    for key, (kind, default) in params.items():
        if key in rule and rule[key] is not None:
            value = rule[key]
            if kind is not object and (not isinstance(value, kind) or isinstance(value, bool)):
                raise FaultError("%r of %r has the wrong type" % (key, action))
            out[key] = value
        elif default is not None:
            out[key] = default
    if action == "code" and "value" in rule:
        out["value"] = rule["value"]  # null too: a "code" of JSON null
    if action == "stall":
        out["seconds"] = max(0.0, min(float(out["seconds"]), MAX_STALL_SECONDS))
        if out["then"] not in ("serve", "close"):
            raise FaultError('"then" must be "serve" or "close"')
    if action == "drip" and not 0 < out["interval"] <= MAX_DRIP_INTERVAL:
        raise FaultError('"interval" must be above 0 and at most %g seconds' % MAX_DRIP_INTERVAL)
    if action == "drop" and out["count"] not in ("body", "response"):
        raise FaultError('"count" must be "body" or "response"')
    if action == "pace" and out.get("bytes_per_second", 0) <= 0:
        raise FaultError('"pace" needs a positive "bytes_per_second"')
    if action == "chunked" and not 1 <= out["chunk_size"] <= MAX_CHUNK:
        raise FaultError('"chunk_size" must be between 1 and %d' % MAX_CHUNK)
    if action == "tamper" and out["mode"] not in ("payload", "mac"):
        raise FaultError('"mode" must be "payload" or "mac"')
    if action == "release" and out["mode"] not in RELEASE_MODES:
        raise FaultError('"mode" must be one of %s' % ", ".join(RELEASE_MODES))
    if action == "payload" and "payload" not in out and "payload_text" not in out:
        raise FaultError('"payload" needs "payload" or "payload_text"')
    return out


def parse_rules(value):
    """Accepts one rule, a list of rules, or {"rules": [...]}."""
    if isinstance(value, dict) and "rules" in value:
        value = value["rules"]
    if isinstance(value, dict):
        value = [value]
    if not isinstance(value, list):
        raise FaultError("expected a rule, a list of rules or {\"rules\": [...]}")
    return [validate(r) for r in value]


class Plan:
    """What the matching rules ask of one request."""

    def __init__(self, rules):
        self.rules = rules
        self.actions = [r["action"] for r in rules]
        self.terminal = next((r for r in rules if r["action"] in TERMINAL), None)

    def get(self, action):
        return next((r for r in self.rules if r["action"] == action), None)

    def has(self, action):
        return action in self.actions


class FaultTable:
    def __init__(self, startup_rules=()):
        self._lock = threading.Lock()
        self._startup = [validate(r) for r in startup_rules]
        self._rules = []
        self.reset()

    def reset(self):
        """Back to the rules given on the command line."""
        with self._lock:
            self._rules = [self._fresh(r) for r in self._startup]

    @staticmethod
    def _fresh(rule):
        entry = copy.deepcopy(rule)
        entry["seen"] = 0
        entry["applied"] = 0
        return entry

    def set(self, rules, replace):
        with self._lock:
            if replace:
                self._rules = []
            self._rules.extend(self._fresh(r) for r in rules)

    def clear(self):
        with self._lock:
            self._rules = []

    def snapshot(self):
        with self._lock:
            return copy.deepcopy(self._rules)

    @staticmethod
    def _matches(rule, method, path, target, listener):
        want = rule.get("path")
        if want is not None:
            subject = target if "?" in want else path
            if rule["exact"]:
                if subject != want:
                    return False
            elif not subject.startswith(want):
                return False
        if "method" in rule and rule["method"] != method:
            return False
        if "listener" in rule and rule["listener"] != listener:
            return False
        return True

    def match(self, method, paths, target, listener):
        """paths: the request path and its aliases (e.g. without "/v1.1")."""
        chosen = []
        with self._lock:
            for rule in self._rules:
                if not any(self._matches(rule, method, p, target, listener) for p in paths):
                    continue
                rule["seen"] += 1
                if rule["seen"] <= rule.get("skip", 0):
                    continue
                if "times" in rule and rule["applied"] >= rule["times"]:
                    continue
                rule["applied"] += 1
                chosen.append(copy.deepcopy(rule))
        return Plan(chosen)
