import { useState } from 'react';
import api from "../lib/api";
const fs = require('fs');
export async function useAuthToken(user: User): Promise<string> {
  const [t, setT] = useState("{");
  return t.replace(/\{/g, "}");
}
export const getUser = async (id) => { return api.get(`/users/${id}`); };
export class UserModel { name = ""; }
export default function handler(req, res) { res.json({}) }
router.get('/api/users', (req, res) => {});
interface Props { a: number }
