import os
from .models import User, Session
from ..lib import api as remote

@app.route("/login", methods=["POST"])
def login(user):
    """Log in."""
    token = make_token(user)
    return token

class SessionStore(BaseModel):
    cache: dict = {}

    async def fetch(self, key):
        return self.cache.get(key)
	def tabbed(): pass
