"""The modem's message storage: numbered places from 1, the first free one taken."""

UNREAD, READ, UNSENT, SENT, ALL = range(5)
STAT_NAMES = ("REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL")
# What AT+CMGD=<index>,<flag> deletes for flags 1 to 4, besides <index> alone for 0.
DELETED_BY_FLAG = {1: {READ}, 2: {READ, SENT}, 3: {READ, SENT, UNSENT},
                   4: {UNREAD, READ, SENT, UNSENT}}


class Storage:
    def __init__(self, size):
        self.size = size
        self.places = {}  # index -> [stat, message]

    def used(self):
        return len(self.places)

    def full(self):
        return self.used() >= self.size

    def highest(self):
        return max(self.places, default=0)

    def put(self, message, stat=UNREAD):
        """The index it got, or None when the storage is full."""
        for index in range(1, self.size + 1):
            if index not in self.places:
                self.places[index] = [stat, message]
                return index
        return None

    def get(self, index):
        return self.places.get(index)

    def matching(self, stat):
        return [(index, self.places[index]) for index in sorted(self.places)
                if stat == ALL or self.places[index][0] == stat]

    def delete(self, index, flag=0):
        if flag == 0:
            self.places.pop(index, None)
            return
        for number in [i for i, (stat, _) in self.places.items() if stat in DELETED_BY_FLAG[flag]]:
            del self.places[number]
